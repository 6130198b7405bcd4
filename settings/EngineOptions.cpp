#include "EngineOptions.h"

#include "Exif.h"

void ReadEngineOptions(const IniFile& ini) {
    Exif::TranscodeTo = ini.ReadString("CONFIG", "TranscodeTo", "UNICODE");
    Exif::TranscodeFm = ini.ReadString("CONFIG", "TranscodeFm", "SJIS");
    Exif::Ambiguous = ini.ReadBool("CONFIG", "Ambiguous", false);
    Exif::Essential = ini.ReadBool("CONFIG", "Essential", true);
    Exif::AfterEOI = ini.ReadBool("CONFIG", "AfterEOI", true);
}

void WriteEngineOptions(IniFile& ini) {
    ini.WriteString("CONFIG", "TranscodeTo", Exif::TranscodeTo);
    ini.WriteString("CONFIG", "TranscodeFm", Exif::TranscodeFm);
    ini.WriteBool("CONFIG", "Ambiguous", Exif::Ambiguous);
    ini.WriteBool("CONFIG", "Essential", Exif::Essential);
    ini.WriteBool("CONFIG", "AfterEOI", Exif::AfterEOI);
}
