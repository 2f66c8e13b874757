// The main window's controls: creation, geometry with the resize rule, fonts and focus order, in one place.
#include "logging/LogPaths.h"
#include "ui/LampShape.h"
#include "ui/WindowFonts.h"
#include "ui/frmMain.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>
#include <QStyle>
#include <QTimer>
#include <limits>

namespace ui {

namespace {

template<typename T> T *make(QWidget *parent, const char *name)
{
    auto *widget = new T(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QLabel *newLabel(QWidget *parent, const char *name, const QString &text)
{
    auto *widget = make<QLabel>(parent, name);
    widget->setText(text);
    return widget;
}

QLineEdit *newTextBox(QWidget *parent, const char *name, const QString &text)
{
    auto *widget = make<QLineEdit>(parent, name);
    widget->setMaxLength(std::numeric_limits<int>::max());
    widget->setText(text);
    return widget;
}

// A number's digits stand to the right, as in a column of figures.
QLineEdit *newNumberBox(QWidget *parent, const char *name, const QString &text)
{
    auto *widget = newTextBox(parent, name, text);
    widget->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return widget;
}

QPushButton *newButton(QWidget *parent, const char *name, const QString &text)
{
    auto *widget = make<QPushButton>(parent, name);
    widget->setText(text);
    widget->setAutoDefault(false);
    return widget;
}

QListWidget *newListBox(QWidget *parent, const char *name)
{
    auto *widget = make<QListWidget>(parent, name);
    widget->setSortingEnabled(false);
    widget->setSelectionMode(QAbstractItemView::SingleSelection);
    return widget;
}

} // namespace

void frmMain::createControls()
{
    Frame2 = make<QGroupBox>(this, "Frame2");
    Shape1 = make<LampShape>(Frame2, "Shape1");
    Shape1->setFillColour(logging::LampGreen);
    Label1 = newLabel(Frame2, "Label1", QStringLiteral("COM port:"));
    Text2 = newNumberBox(Frame2, "Text2", QStringLiteral("1"));
    Label2[0] = newLabel(Frame2, "Label2", QStringLiteral("Reading interval [s]:"));
    Text3 = newNumberBox(Frame2, "Text3", QStringLiteral("5"));
    Label2[1] = newLabel(Frame2, "Label2", QStringLiteral("1-wire delay [ms]:"));
    Text4 = newNumberBox(Frame2, "Text4", QStringLiteral("500"));
    Command3 = newButton(Frame2, "Command3", QStringLiteral("START"));
    Command2 = newButton(Frame2, "Command2", QStringLiteral("STOP"));
    for (int i = 0; i < static_cast<int>(Label2.size()); ++i)
        Label2[i]->setProperty("index", i);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);

    Frame1 = make<QGroupBox>(this, "Frame1");
    Frame1->setTitle(QStringLiteral("Resolution setting"));
    Label3 = newLabel(Frame1, "Label3", QStringLiteral("Sensor #:"));
    Label4 = newLabel(Frame1, "Label4", QStringLiteral("Resolution:"));
    Text1 = newNumberBox(Frame1, "Text1", QStringLiteral("0"));
    Combo_res = make<QComboBox>(Frame1, "Combo_res");
    Combo_res->setEditable(true);
    // The list of resolutions is fixed: typing into the field must never add an item.
    Combo_res->setInsertPolicy(QComboBox::NoInsert);
    Combo_res->addItems({QStringLiteral("9-bit (0.5 \u00B0C)"), QStringLiteral("10-bit (0.25 \u00B0C)"),
        QStringLiteral("11-bit (0.125 \u00B0C)"), QStringLiteral("12-bit (0.0625 \u00B0C)")});
    Combo_res->setCurrentIndex(-1);
    Combo_res->clearEditText();
    // The longest item is wider than the field: show its start (the bits), not its end.
    QObject::connect(Combo_res, &QComboBox::currentIndexChanged, Combo_res,
        [combo = Combo_res] { combo->lineEdit()->setCursorPosition(0); });
    Command1 = newButton(Frame1, "Command1", QStringLiteral("Write to sensor"));
    Command1->setEnabled(false);

    Label5 = newLabel(this, "Label5", QStringLiteral("clock"));
    Command4 = newButton(this, "Command4", QStringLiteral("Help"));
    Check1 = make<QCheckBox>(this, "Check1");
    Check1->setText(QStringLiteral("Save to log file:"));
    Check1->setChecked(true);
    Text5 = newTextBox(this, "Text5", logging::defaultLogPath());
    lstDevices = newListBox(this, "lstDevices");
    lstTemp = newListBox(this, "lstTemp");
}

void frmMain::placeControls()
{
    Frame2->setGeometry(8, 8, 201, 129);
    Shape1->setGeometry(16, 24, 17, 17);
    Label1->setGeometry(56, 24, 57, 17);
    Text2->setGeometry(120, 24, 65, 19);
    Label2[0]->setGeometry(16, 48, 105, 17);
    Text3->setGeometry(120, 48, 65, 19);
    Label2[1]->setGeometry(16, 72, 105, 17);
    Text4->setGeometry(120, 72, 65, 19);
    Command3->setGeometry(16, 96, 81, 17);
    Command2->setGeometry(104, 96, 81, 17);

    Frame1->setGeometry(216, 8, 201, 105);
    Label3->setGeometry(16, 24, 57, 17);
    Label4->setGeometry(80, 24, 57, 17);
    Text1->setGeometry(16, 40, 57, 19);
    Combo_res->setGeometry(80, 40, 105, 21);
    Command1->setGeometry(16, 64, 169, 25);

    Label5->setGeometry(216, 120, 137, 17);
    Command4->setGeometry(360, 120, 57, 17);
    Check1->setGeometry(8, 144, 97, 17);
    Text5->setGeometry(112, 144, 305, 19);
    lstDevices->setGeometry(8, 168, 409, 130);
    lstTemp->setGeometry(8, 304, 409, 202);
}

void frmMain::FitReadingList()
{
    const int w = width() - 14;
    if (w < 0)
        return;
    lstTemp->resize(w, lstTemp->height());
    const int h = height() - 310;
    if (h < 0)
        return;
    lstTemp->resize(lstTemp->width(), h);
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    FitReadingList();
}

void frmMain::setFonts()
{
    // One font for all of them, so that the labels side by side look alike.
    const int checkBoxText = Check1->width()
        - style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, Check1)
        - style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, Check1);
    QList<WindowFonts::TextRoom> texts {{Check1->text(), checkBoxText}};
    for (QLabel *label : {Label1, Label2[0], Label2[1], Label3, Label4, Label5})
        texts.append({label->text(), label->width()});
    setFont(WindowFonts::fitting(WindowFonts::windowDefault(), texts));
    Command3->setFont(WindowFonts::runButtons());
    Command2->setFont(WindowFonts::runButtons());
    lstDevices->setFont(WindowFonts::deviceList());
    lstTemp->setFont(WindowFonts::readingList());
}

void frmMain::chainTabOrder()
{
    const std::array<QWidget *, 13> order {lstDevices, lstTemp, Command1, Text1, Combo_res, Text2, Command2,
        Command3, Text3, Text4, Text5, Check1, Command4};
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

} // namespace ui
