#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace oxel {

// The metadata of one picture: its Exif (with GPS and maker notes), IPTC and XMP, the stand-in for
// a platform's image property dictionaries. A value: copies are cheap and independent (the first
// change to a shared copy makes it its own).
//
// Entries are named by their full key, in the usual three families:
//   "Exif.Image.Orientation", "Exif.Photo.DateTimeOriginal", "Exif.GPSInfo.GPSLatitude",
//   "Iptc.Application2.Keywords", "Xmp.hdrgm.GainMapMax".
// Pixel structure (sizes, depth, colour profile) is not metadata: the decoders report it.
class Metadata {
public:
    Metadata();
    ~Metadata();
    Metadata(const Metadata&);
    Metadata& operator=(const Metadata&);
    Metadata(Metadata&&) noexcept;
    Metadata& operator=(Metadata&&) noexcept;

    // ---- Reading -----------------------------------------------------------------------------

    // The metadata of a JPEG, PNG, TIFF, HEIC or PSD file; nothing when the file cannot be opened
    // or its format carries no metadata that can be read. A file without any metadata gives an
    // empty value.
    static std::optional<Metadata> read(const std::filesystem::path& file);
    static std::optional<Metadata> read(std::span<const uint8_t> fileBytes);

    // One block as files embed it: TIFF-structured Exif (a leading "Exif\0\0" is skipped), IPTC
    // IIM datasets, an XMP packet. Damaged blocks give nothing.
    static std::optional<Metadata> fromExif(std::span<const uint8_t> exif);
    static std::optional<Metadata> fromIptc(std::span<const uint8_t> iptc);
    static std::optional<Metadata> fromXmp(std::string_view packet);

    // Adds the entries of `other`; where both hold a key, `other`'s entry wins.
    void merge(const Metadata& other);

    // ---- Storing -----------------------------------------------------------------------------

    // A self-contained byte form for keeping the metadata beside a picture, and its reader.
    std::vector<uint8_t> serialized() const;
    static std::optional<Metadata> deserialized(std::span<const uint8_t> bytes);

    // ---- Writing into files ------------------------------------------------------------------

    // TIFF-structured Exif, as a JPEG APP1 segment (after "Exif\0\0"), a HEIC Exif item (after
    // its offset word) or a PSD resource carries it; empty when there is no Exif.
    std::vector<uint8_t> exifBytes() const;
    // IPTC IIM datasets; empty when there is no IPTC.
    std::vector<uint8_t> iptcBytes() const;
    // An XMP packet; empty when there is no XMP.
    std::string xmpPacket() const;
    // The IPTC alone as an XMP packet in its IPTC Core form (keywords as dc:subject, the
    // copyright notice as dc:rights, the date and time created, as written, as
    // photoshop:DateCreated, ...), text as UTF-8, for files that carry XMP but no IPTC;
    // empty when there is no IPTC. The XMP entries of this value are not in it.
    std::string iptcAsXmpPacket() const;

    // Replaces the Exif, IPTC and XMP of a finished JPEG, PNG, TIFF or PSD file with these
    // (the file's pixels, structure and colour profile stay as they are). An error text when
    // the file cannot be rewritten; HEIC files take `exifBytes()` and `xmpPacket()` instead.
    // The file open for reading and writing as `descriptor` is rewritten in place through it.
    std::optional<std::string> writeInto(const std::filesystem::path& file) const;
    std::optional<std::string> writeInto(int descriptor) const;
    std::optional<std::string> writeInto(std::vector<uint8_t>& fileBytes) const;

    // ---- Entries -----------------------------------------------------------------------------

    bool isEmpty() const;
    bool hasExif() const;
    bool hasIptc() const;
    bool hasXmp() const;

    bool contains(std::string_view key) const;
    // Every key, Exif first, then IPTC, then XMP, each in its stored order.
    std::vector<std::string> keys() const;

    // The entry as text (a repeated IPTC key gives its first entry); nothing when absent.
    std::optional<std::string> text(std::string_view key) const;
    // Every entry of a repeatable key (IPTC keywords and the like), in order.
    std::vector<std::string> texts(std::string_view key) const;
    // The entry as a whole number: integer types, and text that is wholly an integer.
    std::optional<int64_t> integer(std::string_view key) const;
    // The entry as a number: integer, rational and float types, and text that is wholly a
    // decimal number (XMP holds every value as text).
    std::optional<double> number(std::string_view key) const;

    // Sets an entry from text, read the way the key's type reads text ("2024:05:01 10:00:00",
    // "1/250", "6"); false when the key is unknown or the text does not fit its type.
    bool setText(std::string_view key, std::string_view value);
    bool setInteger(std::string_view key, int64_t value);
    // Removes every entry under the key; removing an absent key is no change.
    void remove(std::string_view key);
    // Removes every entry whose key satisfies `shouldRemove`.
    void removeIf(const std::function<bool(std::string_view key)>& shouldRemove);

    // The EXIF orientation 1...8 of the stored pixels, 1 when absent or out of range.
    int orientation() const;

private:
    struct Data;
    friend struct MetadataAccess;
    std::shared_ptr<Data> data_;
    Data& mutableData();
};

} // namespace oxel
