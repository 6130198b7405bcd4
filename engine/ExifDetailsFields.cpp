// Between the text registers and the six text fields of the Exif page.
#include "ExifDetails.h"

namespace ExifDetails {

TextFields TextFieldsFromRegisters() {
    TextFields f;
    f.title = Trim(Tag010E);
    f.artist = Trim(Tag013B);
    f.comment = Trim(Tag9286);
    f.owner = Trim(TagA430);
    // Photographer NUL editor NUL. Trimming drops the terminator, and an editor part whose
    // terminator is missing keeps its last character.
    const std::size_t nul = Tag8298.find(u'\0');
    f.copyrightPhotographer = Trim(std::u16string_view(Tag8298).substr(0, nul));
    if (nul != std::u16string::npos)
        f.copyrightEditor = Trim(std::u16string_view(Tag8298).substr(nul + 1));
    OpenedTextValues = NewTextValues(f);
    return f;
}

TextValues NewTextValues(const TextFields& f) {
    TextValues v;
    v.title = Trim(f.title) + u'\0';
    v.artist = Trim(f.artist) + u'\0';
    v.comment = Trim(f.comment);
    v.owner = Trim(f.owner) + u'\0';
    std::u16string a = Trim(f.copyrightPhotographer);
    std::u16string b = Trim(f.copyrightEditor);
    if (!a.empty())
        a += u'\0';
    if (!b.empty()) {
        b += u'\0';
        if (a.empty())
            a = std::u16string(u" ") + u'\0'; // a blank stands for the missing photographer
    }
    v.copyright = a + b;
    return v;
}

void StoreTextFields(const TextFields& f) {
    const TextValues v = NewTextValues(f);
    NewTag010E = v.title;
    NewTag013B = v.artist;
    NewTag9286 = v.comment;
    NewTagA430 = v.owner;
    NewTag8298 = v.copyright;
}

} // namespace ExifDetails
