// The Trend view: the concentration per m³ of one location and size over a
// chosen time span, read from the download archive and drawn with Qt Charts
// (pan, zoom, the value under the pointer, the class or grade limit as a
// line), exported as PNG, SVG or PDF.
#pragma once

#include <QDialog>
#include <string>

namespace oront::archive {

class CTrendDlg : public QDialog {
    Q_OBJECT
public:
    explicit CTrendDlg(std::string archivePath, QWidget* parent = nullptr);

private:
    std::string m_archivePath;
};

}  // namespace oront::archive
