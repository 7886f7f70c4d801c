#include "archive/qt/TrendDlg.h"

#include <utility>

namespace oront::archive {

CTrendDlg::CTrendDlg(std::string archivePath, QWidget* parent)
    : QDialog(parent), m_archivePath(std::move(archivePath)) {
    setWindowTitle(QStringLiteral("Trend"));
}

}  // namespace oront::archive
