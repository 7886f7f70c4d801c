// Helpers of the record table widget tests.
#pragma once

#include <QDir>
#include <QString>
#include <QWidget>

#include "app/DownloadTables.h"
#include "device/DeviceLink.h"
#include "device/MemoryImage.h"
#include "device/Protocol.h"
#include "device/SimulatedInstrument.h"
#include "records/RecordStore.h"

namespace oront::test {

// A store after a "Read Records" of the built-in demo memory.
inline bool ReadDemoStore(RecordStore& store) {
    SimulatedInstrument instrument(MakeDemoImage());
    CUsbIF usb(&instrument);
    CommandBuffers io;
    TFactorTable tFactor;
    if (!OpenDeviceLink(usb) || !QueryRecordCount(usb, io, store) || !DownloadRecords(usb, io, store)) return false;
    BuildDownloadTables(store, tFactor);
    return true;
}

// Saves a screenshot of the widget into $ORONT_TEST_OUTPUT; false when the
// variable is not set or the file cannot be written.
inline bool SaveScreenshot(QWidget& widget, const char* name) {
    const QString dir = qEnvironmentVariable("ORONT_TEST_OUTPUT");
    if (dir.isEmpty()) return false;
    QDir().mkpath(dir);
    return widget.grab().save(QDir(dir).filePath(QString::fromLatin1(name)));
}

}  // namespace oront::test
