// The "Name and limits…" dialog and the reading of a sensor line of lstDevices.
#include "ui/SensorDialog.h"

#include "logging/SensorsFile.h"
#include "logging/TextFormats.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QRegularExpression>
#include <QVBoxLayout>
#include <cmath>

namespace ui {

std::optional<ListedSensor> listedSensor(const QString &deviceLine)
{
    static const QRegularExpression line(
        QStringLiteral("^Sensor #(\\d+) :((?: [0-9A-F]{2}){8}) , -?\\d+-bit$"));
    const QRegularExpressionMatch match = line.match(deviceLine);
    if (!match.hasMatch())
        return std::nullopt;
    const std::optional<logging::RomCode> rom
        = logging::romFromKey(match.captured(2).remove(QLatin1Char(' ')));
    if (!rom)
        return std::nullopt;
    return ListedSensor {match.captured(1).toInt(), *rom};
}

namespace {

// The user's own notation; its group separator is never read, so "1.500" is not taken for 1500.
QLocale userLocale()
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    return locale;
}

QLineEdit *limitField(const std::optional<double> &limit, const QString &objectName, QWidget *parent)
{
    auto *field = new QLineEdit(limit ? userLocale().toString(*limit, 'g', 10) : QString(), parent);
    field->setObjectName(objectName);
    field->setPlaceholderText(QStringLiteral("none"));
    return field;
}

} // namespace

SensorDialog::SensorDialog(const ListedSensor &sensor, const logging::SensorSettings &settings,
    const QString &sensorsPath, QWidget *parent)
    : QDialog(parent)
    , m_sensor(sensor)
    , m_settings(settings)
    , m_path(sensorsPath)
{
    setObjectName(QStringLiteral("sensorDialog"));
    setWindowTitle(QStringLiteral("Name and limits of sensor #%1").arg(sensor.index));
    setAttribute(Qt::WA_DeleteOnClose);
    m_name = new QLineEdit(settings.name, this);
    m_name->setObjectName(QStringLiteral("nameEdit"));
    m_name->setPlaceholderText(QStringLiteral("none"));
    m_low = limitField(settings.limits.low, QStringLiteral("lowEdit"), this);
    m_high = limitField(settings.limits.high, QStringLiteral("highEdit"), this);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("problem"));
    m_problem->setWordWrap(true);
    m_problem->hide();
    auto *form = new QFormLayout;
    auto *rom = new QLabel(logging::romCodeText(sensor.rom), this);
    rom->setTextInteractionFlags(Qt::TextSelectableByMouse);
    form->addRow(QStringLiteral("ROM code:"), rom);
    form->addRow(QStringLiteral("Name:"), m_name);
    form->addRow(QStringLiteral("Low limit (\u00B0C):"), m_low);
    form->addRow(QStringLiteral("High limit (\u00B0C):"), m_high);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &SensorDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &SensorDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_problem);
    layout->addWidget(buttons);
    setMinimumWidth(360);
}

bool SensorDialog::limitIn(const QLineEdit *field, std::optional<double> &limit) const
{
    const QString text = field->text().trimmed();
    limit.reset();
    if (text.isEmpty())
        return true;
    bool ok = false;
    double value = userLocale().toDouble(text, &ok);
    if (!ok)
        value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value))
        return false;
    limit = value;
    return true;
}

void SensorDialog::accept()
{
    logging::SensorSettings settings = m_settings;
    settings.name = m_name->text().trimmed();
    QString problem;
    if (!limitIn(m_low, settings.limits.low))
        problem = QStringLiteral("The low limit is not a number.");
    else if (!limitIn(m_high, settings.limits.high))
        problem = QStringLiteral("The high limit is not a number.");
    else if (settings.limits.low && settings.limits.high && *settings.limits.low > *settings.limits.high)
        problem = QStringLiteral("The low limit is above the high limit.");
    m_problem->setText(problem);
    m_problem->setVisible(!problem.isEmpty());
    if (!problem.isEmpty())
        return;
    const QString failure = logging::writeSensorSettings(m_path, m_sensor.rom, settings);
    if (!failure.isEmpty()) {
        auto *box = new QMessageBox(QMessageBox::NoIcon, QStringLiteral("KX4136 logger"),
            QStringLiteral("The sensors file %1 could not be written: %2.")
                .arg(QDir::toNativeSeparators(m_path), failure),
            QMessageBox::Ok, this);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
        return;
    }
    emit saved(m_sensor.rom, settings);
    QDialog::accept();
}

} // namespace ui
