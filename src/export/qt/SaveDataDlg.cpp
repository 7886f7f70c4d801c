#include "export/qt/SaveDataDlg.h"

#include <QGroupBox>
#include <QLabel>
#include <QPainter>

#include "base/Messages.h"
#include "controls/qt/DialogUnits.h"
#include "controls/qt/LimitEdit.h"
#include "controls/qt/Resources.h"
#include "controls/qt/ShadeButtonST.h"
#include "controls/qt/Theme.h"

namespace oront {

namespace {

QLabel* MakeLabel(QWidget* parent, const char* id, const QString& text, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(id));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Black on the shared background colour.
    QPalette pal = label->palette();
    pal.setColor(QPalette::Window, theme::Background());
    pal.setColor(QPalette::WindowText, theme::CaptionText());
    label->setPalette(pal);
    label->setAutoFillBackground(true);
    return label;
}

CLimitEdit* MakeField(QWidget* parent, const char* id, const QRect& geometry) {
    auto* edit = new CLimitEdit(parent);
    edit->setObjectName(QString::fromLatin1(id));
    edit->setGeometry(geometry);
    edit->setAlignment(Qt::AlignCenter);
    edit->setEnabled(false);
    return edit;
}

CShadeButtonST* MakeButton(QWidget* parent, const char* id, const QString& text, const QRect& geometry, int icon) {
    auto* button = new CShadeButtonST(text, parent);
    button->setObjectName(QString::fromLatin1(id));
    button->setGeometry(geometry);
    button->setAutoDefault(true);
    button->SetButtonIcon(ResourceIcon(icon));
    button->BuildShadeImages();
    button->SetFlatFocus(true);
    return button;
}

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CSaveDataDlg::CSaveDataDlg(const RecordStore& store, const IReportList& table, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      m_logic(store, table) {
    const QFont font = DialogFont(QStringLiteral("Arial"), 9);
    setFont(font);
    const DialogUnits du(font);
    setObjectName(QStringLiteral("129"));
    setWindowTitle(QString::fromLatin1(msg::kAppTitle));
    setModal(true);
    // A selection that starts on a run's summary lines saves that summary,
    // which the two record numbers do not say: a note under the frame says
    // it, and the buttons move down to make room for it.
    const std::string note = g_bRangeFromSelection ? SelectionSummaryNote(store, table) : std::string();
    const int noteSpace = note.empty() ? 0 : kNoteSpace;
    setFixedSize(du.Size(161, 82 + noteSpace));

    auto* frame = new QGroupBox(this);
    frame->setGeometry(du.Rect(7, 3, 147, 52));
    MakeLabel(this, "1021", QStringLiteral("Start Record :"), du.Rect(18, 15, 47, 12));
    m_pStart = MakeField(this, "1019", du.Rect(80, 13, 55, 12));
    MakeLabel(this, "1022", QStringLiteral("End Record :"), du.Rect(18, 35, 47, 12));
    m_pEnd = MakeField(this, "1020", du.Rect(80, 33, 55, 12));
    if (!note.empty()) {
        m_pNote = MakeLabel(this, "1023", Latin1(note), du.Rect(7, 58, 147, noteSpace - 3));
        m_pNote->setWordWrap(true);
    }
    m_pOk = MakeButton(this, "1", QStringLiteral("OK"), du.Rect(12, 60 + noteSpace, 50, 15), res::kIconOk);
    m_pOk->setDefault(true);
    m_pCancel = MakeButton(this, "2", QStringLiteral("Cancel"), du.Rect(98, 60 + noteSpace, 50, 15), res::kIconCancel);
    connect(m_pOk, &QPushButton::clicked, this, &CSaveDataDlg::OnOK);
    connect(m_pCancel, &QPushButton::clicked, this, &CSaveDataDlg::OnCancel);

    // Initialisation: the range from the selection, or the whole table.
    std::string start, end;
    m_logic.Init(start, end);
    m_pStart->setText(Latin1(start));
    m_pEnd->setText(Latin1(end));
    m_pOk->setFocus(Qt::OtherFocusReason);
}

void CSaveDataDlg::OnOK() {
    using Field = SaveRangeDialogLogic::Field;
    const Field failed =
        m_logic.OnOK(m_pStart->text().toLatin1().toStdString(), m_pEnd->text().toLatin1().toStdString(), *this);
    if (failed == Field::Start) {
        m_pStart->setFocus(Qt::OtherFocusReason);
        return;
    }
    if (failed == Field::End) {
        m_pEnd->setFocus(Qt::OtherFocusReason);
        return;
    }
    done(kIdOk);
}

void CSaveDataDlg::ShowMessage() {
    if (m_showMessage) m_showMessage();
}

void CSaveDataDlg::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // The background picture stretched over the whole client area.
    if (!m_background.Paint(painter, rect(), devicePixelRatioF())) painter.fillRect(rect(), theme::Background());
}

}  // namespace oront
