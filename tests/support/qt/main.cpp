// Entry point of the widget tests: the QApplication must exist before any
// test creates a widget.
#include <gtest/gtest.h>

#include <QApplication>

#include "support/gtest/SkipSummary.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                      : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    oront::test::InstallSkipSummary();
    return RUN_ALL_TESTS();
}
