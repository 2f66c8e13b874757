// The information window's lines, button and keys.
#include "ui/frmInfo.h"

#include "ui/ColourValue.h"
#include "ui/WindowFonts.h"

#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace ui {

namespace {

struct Line
{
    int top;
    const char *text;
};

constexpr std::array<Line, 13> lines {{
    {24, "KX4136 logger ver. 1.0"},
    {64, "Written by kx4136-logger developers, December 2026"},
    {88, "E-mail: see the project's issue tracker"},
    {112, "Web page: the project's repository"},
    {152, "Works with KA7700 1-wire COM port interface."},
    {168, "Installation of 1-wire drivers from QUENTRA website may be reqired."},
    {192, "Supports KX4130 and KX4136 temperature sensors (up to 32 sensors)."},
    {208, "No other 1-wire devices shall be connected to the interface."},
    {248, "Click 'START' button to open port, detect all sensors and start logging."},
    {272, "If the log file exists, new session will be appended."},
    {296, "Resolution change is stored in the sensor's EEPROM."},
    {320, "To adjust '1-wire delay' value check conversion time in the KX4136"},
    {336, "datasheet (table 2 on page 8)."},
}};

constexpr int lineLeft = 16;
constexpr int lineHeight = 17;
constexpr int lineWidth = 505;
constexpr int titleWidth = 465;
constexpr int32_t textColour = 12582912;

} // namespace

frmInfo::frmInfo(QWidget *owner)
    : QDialog(owner,
        Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
            | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("frmInfo"));
    setWindowTitle(QStringLiteral("Info"));
    setFont(WindowFonts::windowDefault());
    setFixedSize(501, 463);
    setModal(true);

    QPalette palette;
    palette.setColor(QPalette::WindowText, colourFromValue(textColour));
    // The lines reach past the window's right edge: each must end at least a left margin before it.
    const int visibleWidth = width() - 2 * lineLeft;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const bool title = i == 0;
        auto *label = new QLabel(QString::fromUtf8(lines[i].text), this);
        label->setObjectName(QStringLiteral("Label1"));
        label->setProperty("index", static_cast<int>(i));
        label->setGeometry(lineLeft, lines[i].top, title ? titleWidth : lineWidth, lineHeight);
        label->setAlignment((title ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        label->setPalette(palette);
        const QFont font = WindowFonts::infoLine(title ? QFont::Bold : QFont::Normal);
        label->setFont(WindowFonts::fitting(font, {{label->text(), visibleWidth}}));
        Label1[i] = label;
    }

    Command1 = new QPushButton(QStringLiteral("Close"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(200, 424, 105, 33);
    Command1->setAutoDefault(true);
    Command1->setDefault(true);
    Command1->setFocus();
    connect(Command1, &QPushButton::clicked, this, &frmInfo::CloseInfo);
}

void frmInfo::CloseInfo()
{
    close();
}

void frmInfo::keyPressEvent(QKeyEvent *event)
{
    // Only Close and the title bar's button close this window; the cancel key is swallowed.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

} // namespace ui
