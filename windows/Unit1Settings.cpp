// The settings file: read once while the window is created, written once when it is destroyed.
// Everything in between changes only the values in memory.

#include "Unit1.h"

#include <QAction>
#include <QDir>
#include <QMessageBox>

#include "DelimitedText.h"
#include "EngineOptions.h"
#include "IniFile.h"
#include "NumberText.h"

namespace {

std::string utf8(const QString& text) {
    return text.toStdString();
}

QString readText(const IniFile& ini, const char* section, const char* key) {
    return QString::fromStdString(ini.ReadString(section, key, ""));
}

QString joinLocation(const ExifDetails::Location& values) {
    QStringList items;
    for (float v : values)
        items.append(QString::fromStdU16String(NumberText::FormatGeneral(v)));
    return JoinDelimited(items);
}

// Eight numbers, or eight zeros when the value does not hold them (an edited file, or one
// written where numbers take a decimal comma).
ExifDetails::Location readLocation(const QString& text) {
    ExifDetails::Location values{};
    const QStringList items = SplitDelimited(text);
    if (items.size() < qsizetype(values.size()))
        return {};
    try {
        for (std::size_t i = 0; i < values.size(); ++i)
            values[i] = float(NumberText::ParseFloat(items[qsizetype(i)].toStdU16String()));
    } catch (const Exif::EngineError&) {
        return {};
    }
    return values;
}

} // namespace

void TForm1::ReadIni() {
    const IniFile ini((INIPath + INIFile).toStdString());

    OSM = QString::fromStdString(ini.ReadString("CONFIG", "OSM_URL", kDefaultMapTemplate));
    TileURL = QString::fromStdString(ini.ReadString("CONFIG", "TileURL", kDefaultTileTemplate));
    TileAttribution =
        QString::fromStdString(ini.ReadString("CONFIG", "TileAttribution", kDefaultTileAttribution));
    ReadEngineOptions(ini);
    TimestampOriginal = ini.ReadBool("CONFIG", "TimestampOriginal", false);

    // 8-bit fields keep the low 8 bits of what the file says.
    Bak01 = std::int8_t(ini.ReadInteger("GPS", "01", 0));
    Bak02A = readText(ini, "GPS", "02A");
    Bak02B = readText(ini, "GPS", "02B");
    Bak02C = readText(ini, "GPS", "02C");
    Bak03 = std::int8_t(ini.ReadInteger("GPS", "03", 0));
    Bak04A = readText(ini, "GPS", "04A");
    Bak04B = readText(ini, "GPS", "04B");
    Bak04C = readText(ini, "GPS", "04C");
    Bak05 = std::int8_t(ini.ReadInteger("GPS", "05", 0));
    Bak06 = readText(ini, "GPS", "06");
    Bak10 = std::int8_t(ini.ReadInteger("GPS", "10", 0));
    Bak11 = ini.ReadFloat("GPS", "11", 0);
    Bak1C = readText(ini, "GPS", "1C");
    Flag01 = ini.ReadBool("GPS", "Save01", true);
    Flag05 = ini.ReadBool("GPS", "Save05", true);
    Flag10 = ini.ReadBool("GPS", "Save10", false);
    Flag1C = ini.ReadBool("GPS", "Save1C", true);
    DefPos = QString::fromStdString(ini.ReadString("GPS", "Location", "Tokyo"));
    CNo = std::uint8_t(ini.ReadInteger("GPS", "CompassNo", 12));
    LocationMax = std::uint8_t(ini.ReadInteger("GPS", "LocationMax", 5));

    // Every remembered place is loaded, even beyond LocationMax; its menu item shows the name.
    const std::vector<std::string> keys = ini.ReadSection("Location");
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const QString entry = QString::fromStdString(ini.ReadString("Location", keys[i], ""));
        LocationRemember.append(entry);
        addLocationMenuItem(LocationName(entry), int(i) + 1);
    }

    Bak010E = readText(ini, "Exif", "010E");
    Bak013B = readText(ini, "Exif", "013B");
    Bak8298A = readText(ini, "Exif", "8298A");
    Bak8298B = readText(ini, "Exif", "8298B");
    Bak9286 = readText(ini, "Exif", "9286");
    BakA430 = readText(ini, "Exif", "A430");
    Flag010E = ini.ReadBool("Exif", "Save010E", true);
    Flag013B = ini.ReadBool("Exif", "Save013B", true);
    Flag8298 = ini.ReadBool("Exif", "Save8298", true);
    Flag9286 = ini.ReadBool("Exif", "Save9286", true);
    FlagA430 = ini.ReadBool("Exif", "SaveA430", true);

    ArrayUser = readLocation(
        QString::fromStdString(ini.ReadString("GPS", "UserLocation", "0,0,0,0,0,0,0,0")));

    if (Bak01 != 0 || Bak05 != 0 || Bak10 != 0 || !Bak1C.isEmpty())
        PMGPS_Restore->setEnabled(true);
    if (!Bak010E.isEmpty() || !Bak013B.isEmpty() || !Bak8298A.isEmpty() ||
        !Bak8298B.isEmpty() || !Bak9286.isEmpty() || !BakA430.isEmpty())
        PMX_Restore->setEnabled(true);
}

void TForm1::WriteIni() {
    QDir folder(INIPath);
    if (!folder.exists() && !QDir().mkdir(INIPath)) {
        QMessageBox::critical(this, ExeName,
                              QStringLiteral("<") + INIPath + QStringLiteral("> creation error.") +
                                  QStringLiteral("\r\nConfigurations may not be saved."),
                              QMessageBox::Abort);
        return;
    }
    IniFile ini((INIPath + INIFile).toStdString());

    // Each section is written anew at the end of the file: keys the program does not know
    // disappear from its sections, other programs' sections stay in front.
    ini.EraseSection("CONFIG");
    ini.WriteString("CONFIG", "OSM_URL", utf8(OSM));
    ini.WriteString("CONFIG", "TileURL", utf8(TileURL));
    ini.WriteString("CONFIG", "TileAttribution", utf8(TileAttribution));
    WriteEngineOptions(ini);
    ini.WriteBool("CONFIG", "TimestampOriginal", TimestampOriginal);

    ini.EraseSection("PARAMS");
    const QRect frame = frameGeometry();
    ini.WriteInteger("PARAMS", "LEFT", frame.left());
    ini.WriteInteger("PARAMS", "TOP", frame.top());
    ini.WriteInteger("PARAMS", "WIDTH", frame.width());
    ini.WriteInteger("PARAMS", "HEIGHT", frame.height());

    ini.EraseSection("GPS");
    ini.WriteInteger("GPS", "01", Bak01);
    ini.WriteString("GPS", "02A", utf8(Bak02A));
    ini.WriteString("GPS", "02B", utf8(Bak02B));
    ini.WriteString("GPS", "02C", utf8(Bak02C));
    ini.WriteInteger("GPS", "03", Bak03);
    ini.WriteString("GPS", "04A", utf8(Bak04A));
    ini.WriteString("GPS", "04B", utf8(Bak04B));
    ini.WriteString("GPS", "04C", utf8(Bak04C));
    ini.WriteInteger("GPS", "05", Bak05);
    ini.WriteString("GPS", "06", utf8(Bak06));
    ini.WriteInteger("GPS", "10", Bak10);
    ini.WriteFloat("GPS", "11", Bak11);
    ini.WriteString("GPS", "1C", utf8(Bak1C));
    ini.WriteBool("GPS", "Save01", Flag01);
    ini.WriteBool("GPS", "Save05", Flag05);
    ini.WriteBool("GPS", "Save10", Flag10);
    ini.WriteBool("GPS", "Save1C", Flag1C);
    ini.WriteString("GPS", "Location", utf8(DefPos));
    ini.WriteInteger("GPS", "CompassNo", CNo);
    ini.WriteInteger("GPS", "LocationMax", LocationMax);

    // Places beyond LocationMax are not kept.
    ini.EraseSection("Location");
    for (int i = 0; i < LocationRemember.size() && i < LocationMax; ++i)
        ini.WriteString("Location", std::to_string(i), utf8(LocationRemember.at(i)));

    ini.EraseSection("Exif");
    ini.WriteString("Exif", "010E", utf8(Bak010E));
    ini.WriteString("Exif", "013B", utf8(Bak013B));
    ini.WriteString("Exif", "8298A", utf8(Bak8298A));
    ini.WriteString("Exif", "8298B", utf8(Bak8298B));
    ini.WriteString("Exif", "9286", utf8(Bak9286));
    ini.WriteString("Exif", "A430", utf8(BakA430));
    ini.WriteBool("Exif", "Save010E", Flag010E);
    ini.WriteBool("Exif", "Save013B", Flag013B);
    ini.WriteBool("Exif", "Save8298", Flag8298);
    ini.WriteBool("Exif", "Save9286", Flag9286);
    ini.WriteBool("Exif", "SaveA430", FlagA430);

    ini.WriteString("GPS", "UserLocation", utf8(joinLocation(ArrayUser)));
    ini.Save();
}
