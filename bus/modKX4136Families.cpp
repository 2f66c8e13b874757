// The thermometer family table, and the conversion times it gives the sensors a detection listed.
#include "bus/modKX4136Families.h"

#include <QStringList>
#include <algorithm>

namespace modKX4136 {

namespace families {

namespace {

// Code, raw units per degree, power-on reading and count per degree, conversions. A KX4136 converts for as
// long as its resolution asks; a KX4130 always alike.
constexpr std::array<Family, 2> Families {{
    {0x28, 16.0, 0x0550, std::nullopt,
        {{{Setting {1, 0x1F}, 93750, "9-bit"}, {Setting {2, 0x3F}, 187500, "10-bit"},
            {Setting {3, 0x5F}, 375000, "11-bit"}, {Setting {4, 0x7F}, 750000, "12-bit"}}}},
    {0x10, 2.0, 0x00AA, 0x10, {{{std::nullopt, 750000, "KX4130"}}}},
}};

// Every row that sets a resolution, in table order, until `stop` answers true for one; that one.
template<typename Stop> const Setting *findSetting(Stop stop)
{
    for (const Family &family : Families) {
        for (const Conversion &row : family.conversions())
            if (row.setting && stop(*row.setting))
                return &*row.setting;
    }
    return nullptr;
}

} // namespace

std::span<const Conversion> Family::conversions() const
{
    const auto end
        = std::find_if(rows.begin(), rows.end(), [](const Conversion &c) { return c.kind == nullptr; });
    return {rows.begin(), end};
}

const Family *familyWithCode(int16_t code)
{
    const auto it
        = std::find_if(Families.begin(), Families.end(), [code](const Family &f) { return f.code == code; });
    return it == Families.end() ? nullptr : &*it;
}

const Family *familyOfRow(int16_t index)
{
    return index >= 0 && index < RomTableRows ? familyWithCode(RomTable[index][0]) : nullptr;
}

int16_t configurationFor(int32_t code)
{
    const Setting *setting = findSetting([code](const Setting &s) { return s.code == code; });
    return setting != nullptr ? setting->configuration
                              : findSetting([](const Setting &) { return true; })->configuration;
}

int32_t codeFor(int16_t configuration)
{
    const Setting *setting
        = findSetting([configuration](const Setting &s) { return s.configuration == configuration; });
    return setting != nullptr ? setting->code : 0;
}

const Conversion *conversionOf(const ListedSensor &sensor)
{
    const Family *family = familyWithCode(sensor.family);
    if (family == nullptr)
        return nullptr;
    const std::span<const Conversion> rows = family->conversions();
    const auto it = std::find_if(rows.begin(), rows.end(),
        [&sensor](const Conversion &c) { return !c.setting || c.setting->code == sensor.resolution; });
    return it == rows.end() ? nullptr : &*it;
}

int32_t conversionMicros(const ListedSensor &sensor)
{
    if (const Conversion *row = conversionOf(sensor))
        return row->micros;
    const Family *family = familyWithCode(sensor.family);
    if (family == nullptr)
        return 0;
    const std::span<const Conversion> rows = family->conversions();
    return std::max_element(rows.begin(), rows.end(), [](const Conversion &a, const Conversion &b) {
        return a.micros < b.micros;
    })->micros;
}

} // namespace families

int32_t ConvertAllWaitMs(const Discovery &found)
{
    int32_t slowest = 0;
    for (const ListedSensor &sensor : found.sensors)
        slowest = std::max(slowest, families::conversionMicros(sensor));
    return std::max<int32_t>((slowest + 999) / 1000, OneWireDelay);
}

QString conversionLagLine(const Discovery &found)
{
    // Several kinds too slow: naming the slowest gives the one delay that serves every sensor. A sensor
    // of unknown resolution has no kind to name.
    int32_t slowest = 0;
    QStringList kinds;
    for (const families::Family &family : families::Families) {
        for (const families::Conversion &row : family.conversions()) {
            const bool listed = std::any_of(found.sensors.begin(), found.sensors.end(),
                [&row](const ListedSensor &sensor) { return families::conversionOf(sensor) == &row; });
            if (!listed || row.micros < slowest)
                continue;
            if (row.micros > slowest)
                kinds.clear();
            slowest = row.micros;
            kinds << QLatin1String(row.kind);
        }
    }
    if (slowest == 0 || int64_t {OneWireDelay} * 1000 >= slowest)
        return {};
    return QStringLiteral("1-wire delay %1 ms is shorter than the %2 ms that %3 sensors need: their readings "
                          "lag one cycle behind.")
        .arg(QString::number(OneWireDelay), QString::number(slowest / 1000.0), kinds.join(u" and "));
}

} // namespace modKX4136
