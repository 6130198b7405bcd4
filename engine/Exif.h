#pragma once

// The EXIF engine: one process-wide state holding the source file, the output being built, the
// kept tail of the source, the decoded directory tables and the information listing, with the
// plain routines that read, update and write them. Plain C++, no Qt.

#include <cstdint>
#include <ctime>
#include <optional>
#include <span>
#include <string_view>
#include <string>
#include <vector>

#include "ByteStream.h"
#include "EngineError.h"

namespace Exif {

// One directory entry. ID, DataType, Count and Offset hold the bytes of the 12-byte file entry
// in file order (read as little-endian numbers), so a record can be written back unchanged;
// numeric use goes through MM2/MM4 when BO is "MM". IDX is the plain tag number.
struct IFDRec {
    std::uint16_t ID = 0;
    std::uint16_t DataType = 0;
    std::uint32_t Count = 0;
    std::uint32_t Offset = 0;
    std::vector<std::uint8_t> Raw;
    std::uint16_t IDX = 0;
};
using IFDTable = std::vector<IFDRec>;
using Listing = std::vector<std::u16string>;

constexpr std::uint16_t kBigEndian = 0x4D4D;    // "MM"
constexpr std::uint16_t kLittleEndian = 0x4949; // "II"

// TIFF field types.
enum FieldType : std::uint16_t {
    BYTE = 1, ASCII = 2, SHORT = 3, LONG = 4, RATIONAL = 5, SBYTE = 6, UNDEFINED = 7,
    SSHORT = 8, SLONG = 9, SRATIONAL = 10, FLOAT = 11, DOUBLE = 12, IFD = 13,
};

// A stretch [begin, end) of TIFF offsets.
struct TiffRange {
    std::uint64_t begin = 0, end = 0;
};

// --- State -------------------------------------------------------------------------------------

inline IFDTable IFD0, IFD1, IFDX, IFDG, IFDI;
inline ByteStream FmStream, ToStream, TrailStream;
inline Listing ExifStrings;

inline std::int32_t MainWidth = 0, MainHeight = 0;

// Engine options; the settings file and the configuration dialog change them.
inline std::string TranscodeTo = "UNICODE";
inline std::string TranscodeFm = "SJIS";
inline bool Ambiguous = false;
inline bool Essential = true;
// Keep what follows the end-of-image marker: today it is often real data (motion-photo videos,
// depth maps, maker trailers), so dropping it is opt-in.
inline bool AfterEOI = true;

inline std::uint16_t Marker = 0;
inline std::uint32_t FmBasePos = 0;
inline std::uint32_t ToBasePos = 12;
inline std::uint16_t BO = kLittleEndian;
inline std::uint32_t SNOffset = 0, SNSize = 0;
// The strips of a thumbnail stored uncompressed (StripOffsets and StripByteCounts of the 1st
// IFD), as TIFF offset and length each; empty when there are none or they cannot be carried.
inline std::vector<std::pair<std::uint32_t, std::uint32_t>> ThumbnailStrips;
// End (exclusive, in FmStream) of the TIFF data: the end of the EXIF APP1 segment, clipped to
// the source. Directories are read only inside it.
inline std::uint64_t FmTiffEnd = 0;
// TIFF offset of the MakerNote's value in the source (0: none). Many maker notes hold offsets
// relative to the TIFF header, so the writer puts the value back at this offset when it can.
inline std::uint32_t MakerNoteOffset = 0;
// Where in FmStream each directory whose entries were decoded starts, in reading order: a
// pointer loop or a second pointer to one directory never decodes it twice.
inline std::vector<std::uint64_t> DecodedDirectories;
// For the Exif, GPS and Interoperability pointers (in that order): the pointer whose directory
// this one's target was already read as (the two point at one directory), or -1.
inline int PointerSharedWith[3] = {-1, -1, -1};

// The name and version written into the comment segment ("Modified by geodot v0.2.3a"); the
// caller sets them. Comments that contain "Modified by " + ProgramName are recognised as ours.
inline std::u16string ProgramName = u"geodot";
inline std::u16string ProgramVersion = u"0.2.3a";

// --- Table routines ----------------------------------------------------------------------------

std::uint16_t MM2(std::uint16_t v);
std::uint32_t MM4(std::uint32_t v);
// Numeric value of a record field: MM2/MM4 when BO is "MM".
std::uint16_t Num16(std::uint16_t fileOrder);
std::uint32_t Num32(std::uint32_t fileOrder);
std::uint8_t DataLength(std::uint16_t dataType);
std::int32_t Roundoff(double x);
void AppendIFD(IFDTable& ifd, std::uint16_t id, std::uint16_t dataType, std::uint32_t count,
               std::uint32_t offset);
void SortIFD(IFDTable& ifd);
void CleanIFD(IFDTable& ifd);
bool IsIgnoredTag(std::uint16_t tag); // membership in the hidden-tag list
bool IsPointerTag(std::uint16_t tag); // 0x8769, 0x8825, 0xA005
// False for an entry whose type is none of the TIFF field types 1 to 13: it has no value a
// reader could take, and readers reject the directory that holds it.
bool HasFieldType(const IFDRec& entry);
// An entry a save keeps as a value: one of a field type with at least one element (pointers
// aside, which a save writes anew).
bool HoldsValue(const IFDRec& entry);
// True for an entry of a directory (`mk` '0', 'X', '1', 'G', 'I') that points at a private
// sub-directory: an entry of type IFD, or SubIFDs (0x014A) and the like in the 0th, Exif and
// 1st IFDs. Its value stays right only while those directories stay where they are.
bool IsPrivateDirectoryEntry(const IFDRec& entry, char mk);
// Appends the numbers of a SHORT or LONG entry to `out`; false for any other type or a value
// shorter than its count.
bool EntryNumbers(const IFDRec& entry, std::vector<std::uint32_t>& out);
std::uint16_t ByteToInt16(std::span<const std::uint8_t> bytes);
std::uint32_t ByteToInt32(std::span<const std::uint8_t> bytes);
void Finalization();

// Empties the streams, the listing and the tables and zeroes the positions and picture size;
// the options keep their values. Run before each file is opened.
void ResetEngine();

// --- Reading -----------------------------------------------------------------------------------

// Resets the engine and the registers and opens a file to edit it: false when it is not a
// JPEG, an EngineError when it cannot be read. `forSaving` also takes the fingerprint of the
// whole file that saving it checks against.
bool OpenForEditing(const std::string& path, bool forSaving);

// Reads the JPEG in FmStream: true when it begins with SOI and was walked. Throws EngineError
// when the structure cannot be read.
bool AnalyzeExif();
void ReadJpeg();
void ReadAPP1();
void ReadTIFF();
void ReadIFD(IFDTable& ifd, Listing& exif, char mk, bool isNew);
std::u16string ReadData(const IFDRec& entry);
// Without `textRegisters` an editable text is listed but does not fill its text field.
std::u16string GetExifNote(const IFDRec& curIFD, char mk, bool englishName, bool textRegisters);
bool CheckCOM();
void WriteCOM(ByteStream& outStream);
std::int64_t SeekEOI();
// The picture size from the first frame header of the JPEG in FmStream; false when there is
// none.
bool JpegFrameSize(std::int32_t& width, std::int32_t& height);

// The listing as a page shows it: a CR LF inside a line becomes a line break and a line ends at
// its first NUL character. Lines are joined with "\n".
std::u16string ListingText(const Listing& listing);

// --- Updating ----------------------------------------------------------------------------------

// True when the text is plain ASCII and so needs no multibyte code.
bool IsSingleByte(std::u16string_view str);
// Sets Count and Raw (and Offset for values of at most 4 bytes) of an entry from a text: enc
// "JIS", "UNICODE", "UTF8", "SJIS" give a prefixed value in that code (or "ASCII" when the text
// is plain ASCII), "ASCII" a prefixed single-byte value, anything else ("Ambiguous") an
// unprefixed value in the code of TranscodeTo. An empty result gives Count 0.
void SetStringData(IFDRec& entry, std::u16string_view str, std::string enc);
// Applies the new text registers to the 0th and Exif IFDs. Refuses (EngineError, tables
// unchanged) a text beyond U+00FF in an ASCII tag while Ambiguous is off.
void UpdateExif();
// Applies the new GPS registers to the GPS IFD, or empties the position when NewTag05 is 9.
// Refuses (EngineError, tables unchanged) values that cannot be stored: negative or
// non-finite degrees, minutes or seconds, numbers beyond the 32-bit numerators.
void UpdateGPS();
void AddBlankIFDS();

// --- Writing -----------------------------------------------------------------------------------

// Builds the whole output file in ToStream from the tables, the thumbnail and TrailStream.
// Refuses (EngineError, ToStream emptied) an EXIF block larger than a JPEG segment can hold.
void WriteJpeg();

// What private data of the source's EXIF block refers to, read from the source as the writer
// needs it. Both give TIFF offsets below 65536 and from 8 on; the writer keeps the source's
// bytes there in place (zeros where the source block has none).
//
// The MakerNote's own bytes, put at TIFF offset `at`, with the directories and values it
// refers to as far as its structure can be read as a directory.
std::vector<TiffRange> MakerNoteReach(std::uint64_t at, std::span<const std::uint8_t> makerNote);
// The private sub-directories an entry points at (see IsPrivateDirectoryEntry) with everything
// they refer to, added to `reach`; false, with `reach` unchanged, when an offset the entry holds
// leads to no directory.
bool PrivateDirectoryReach(const IFDRec& entry, char mk, std::vector<TiffRange>& reach);

// How one file is saved.
struct SaveOptions {
    // A target that has disappeared is a failure instead of being created anew.
    bool mustExist = false;
    // Saving over a file that was read: the target must still hold exactly these bytes, else
    // the save is refused (another program's newer content is never overwritten). A file that
    // was only touched, or replaced by an identical copy, is saved over.
    std::optional<ContentFingerprint> unchangedSince;
    // The saved file's modification time; without it, the time of saving.
    std::optional<timespec> modified;
    // Takes the saved file's fingerprint (SaveResult::written) as it is written, for a caller
    // that will save over it again; without it nothing is hashed on the way.
    bool fingerprintWritten = true;
};

struct SaveRequest {
    std::string path;
    ByteStream content;
    SaveOptions options;
};

struct SaveResult {
    std::string error; // empty when the file was saved
    ContentFingerprint written; // what the saved file holds, when fingerprintWritten
};

// Stores contents under their paths atomically, many at once with one group commit:
//  1. each output is written to a new file beside its target (every write checked, bytes
//     referred from a source file checked against that file's fingerprint, the target's
//     permissions and owner taken over);
//  2. all of them are flushed to disk (several on one file system by one sync of it);
//  3. each takes the place of its target by a rename (a symbolic link stays a link; its
//     target is replaced);
//  4. each folder is synced once.
// One result per request, in order. A file that fails at any step is left as it was, with no
// temporary file behind, and the others go on. When the call returns every saved file is on
// disk. Each request holds two file descriptors until then: commit large batches in groups of
// at most kFilesPerGroupCommit.
std::vector<SaveResult> SaveFiles(const std::vector<SaveRequest>& requests);
constexpr std::size_t kFilesPerGroupCommit = 100;
// One file the same way; an EngineError says why it failed.
ContentFingerprint SaveFile(const std::string& path, const ByteStream& content,
                            const SaveOptions& options);
void SaveFile(const std::string& path, const ByteStream& content, bool mustExist);
void SaveFile(const std::string& path, const std::vector<std::uint8_t>& bytes, bool mustExist);
// The time stamp a saved file takes when it keeps the picture's date: the first of
// DateTime0132, DateTime9003, DateTime9004 whose year is after 1900, else `fileDate`.
double TimestampFor(double fileDate);
// A local date-time (days since 1899-12-30) as a file time; nothing for a date the system
// cannot represent.
std::optional<timespec> FileTimeFromLocal(double localDateTime);
// Sets the last-write time of a file to a local date-time.
void SetFileTime(const std::string& path, double localDateTime);
// The last-write time of a file as a local date-time.
double FileTimeOf(const std::string& path);

} // namespace Exif
