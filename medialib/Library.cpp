#include "medialib/Library.h"

#include "medialib/TextFold.h"

#include <string>

namespace medialib {
namespace {

using SV = std::u16string_view;

const FieldInfo kFields[] = {
    {u"Name", FieldKind::Text, [](const Track& t) { return SV(t.name); }, nullptr},
    {u"Artist", FieldKind::Text, [](const Track& t) { return SV(t.artist); }, nullptr},
    {u"Album", FieldKind::Text, [](const Track& t) { return SV(t.album); }, nullptr},
    {u"Album Artist", FieldKind::Text, [](const Track& t) { return SV(t.albumArtist); }, nullptr},
    {u"Album Artist (auto)", FieldKind::Text, [](const Track& t) { return autoAlbumArtist(t); },
     nullptr},
    {u"Composer", FieldKind::Text, [](const Track& t) { return SV(t.composer); }, nullptr},
    {u"Genre", FieldKind::Text, [](const Track& t) { return SV(t.genre); }, nullptr},
    {u"Comment", FieldKind::Text, [](const Track& t) { return SV(t.comment); }, nullptr},
    {u"Media Type", FieldKind::Text, [](const Track& t) { return SV(t.mediaType); }, nullptr},
    {u"Filename", FieldKind::Text, [](const Track& t) { return SV(t.path); }, nullptr},
    {u"Duration", FieldKind::Number, nullptr, [](const Track& t) { return t.durationSeconds; }},
    {u"Track #", FieldKind::Number, nullptr, [](const Track& t) { return t.trackNumber; }},
    {u"Disc #", FieldKind::Number, nullptr, [](const Track& t) { return t.discNumber; }},
    {u"Year", FieldKind::Number, nullptr, [](const Track& t) { return t.year; }},
    {u"Rating", FieldKind::Number, nullptr, [](const Track& t) { return t.rating; }},
    {u"Number Plays", FieldKind::Number, nullptr, [](const Track& t) { return t.playCount; }},
    {u"Bitrate", FieldKind::Number, nullptr, [](const Track& t) { return t.bitrate / 1000; }},
    {u"Key", FieldKind::Number, nullptr, [](const Track& t) { return t.key; }},
};

// Equal when the names match ignoring case and spaces.
bool sameFieldName(SV a, SV b) {
    size_t i = 0, j = 0;
    for (;;) {
        while (i < a.size() && a[i] == u' ')
            ++i;
        while (j < b.size() && b[j] == u' ')
            ++j;
        if (i == a.size() || j == b.size())
            return i == a.size() && j == b.size();
        if (foldCase(a[i]) != foldCase(b[j]))
            return false;
        ++i;
        ++j;
    }
}

} // namespace

const FieldInfo* findField(std::u16string_view name) {
    for (const auto& f : kFields)
        if (sameFieldName(f.name, name))
            return &f;
    return nullptr;
}

std::u16string fieldText(const FieldInfo& field, const Track& track) {
    if (field.kind == FieldKind::Text)
        return std::u16string(field.text(track));
    int32_t v = field.number(track);
    if (v == 0)
        return {};
    std::string digits = std::to_string(v);
    return std::u16string(digits.begin(), digits.end());
}

} // namespace medialib
