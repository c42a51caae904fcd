#include "develop/codecs/Metadata.h"

#include "develop/codecs/ByteIO.h"
#include "develop/codecs/FileType.h"
#include "develop/codecs/IptcDatasets.h"
#include "develop/codecs/IptcXmpDate.h"
#include "develop/codecs/JPEGStructure.h"
#include "develop/codecs/PNGRawProfile.h"
#include "develop/codecs/PhotoshopResources.h"
#include "develop/codecs/PictureCodec.h"
#include "platform/Diagnostics.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <exiv2/exiv2.hpp>
#pragma GCC diagnostic pop

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace oxel {

struct Metadata::Data {
    Exiv2::ExifData exif;
    Exiv2::IptcData iptc;
    Exiv2::XmpData xmp;
};

struct MetadataAccess {
    static Metadata::Data& data(Metadata& metadata) { return metadata.mutableData(); }
};

namespace {

void logToStderr(int level, const char* message)
{
    if (level < Exiv2::LogMsg::error) return;
    std::string line = message ? message : "";
    std::replace(line.begin(), line.end(), '\n', ' ');
    while (!line.empty() && line.back() == ' ') line.pop_back();
    diagnose("metadata", line);
}

void xmpLock(void* mutex, bool lock)
{
    if (lock)
        static_cast<std::mutex*>(mutex)->lock();
    else
        static_cast<std::mutex*>(mutex)->unlock();
}

// The XMP toolkit and the reader registry are process-wide; set them up once, before any use.
void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        static std::mutex xmpMutex;
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::error);
        Exiv2::LogMsg::setHandler(logToStderr);
        Exiv2::XmpParser::initialize(xmpLock, &xmpMutex);
        Exiv2::enableBMFF(true);
    });
}

enum class Family { exif, iptc, xmp, unknown };

Family familyOf(std::string_view key)
{
    if (key.starts_with("Exif.")) return Family::exif;
    if (key.starts_with("Iptc.")) return Family::iptc;
    if (key.starts_with("Xmp.")) return Family::xmp;
    return Family::unknown;
}

std::string_view trimmed(std::string_view text)
{
    const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
    return text;
}

// A decimal number and nothing else ("1.5", "-2", "+0.25", "3e-1"); no hex, no inf, no nan.
std::optional<double> wholeDecimal(std::string_view text)
{
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return std::nullopt;
    const bool decimalCharacters = std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E';
    });
    if (!decimalCharacters) return std::nullopt;
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<int64_t> wholeInteger(std::string_view text)
{
    text = trimmed(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool isIntegerType(Exiv2::TypeId type)
{
    switch (type) {
    case Exiv2::unsignedByte:
    case Exiv2::unsignedShort:
    case Exiv2::unsignedLong:
    case Exiv2::signedByte:
    case Exiv2::signedShort:
    case Exiv2::signedLong: return true;
    default: return false;
    }
}

bool isRationalType(Exiv2::TypeId type)
{
    return type == Exiv2::unsignedRational || type == Exiv2::signedRational;
}

bool isFloatType(Exiv2::TypeId type)
{
    return type == Exiv2::tiffFloat || type == Exiv2::tiffDouble;
}

// The first entry of a datum as a number, by its stored type; text goes through the whole-text rule.
template <class Datum>
std::optional<double> numberOf(const Datum& datum)
{
    const Exiv2::TypeId type = datum.typeId();
    if (datum.count() == 0) return std::nullopt;
    if (isIntegerType(type)) return double(datum.toLong(0));
    if (isRationalType(type)) {
        const Exiv2::Rational r = datum.toRational(0);
        if (r.second == 0) return std::nullopt;
        return double(r.first) / double(r.second);
    }
    if (isFloatType(type)) {
        const double value = datum.toFloat(0);
        return std::isfinite(value) ? std::optional(value) : std::nullopt;
    }
    return wholeDecimal(datum.toString());
}

template <class Datum>
std::optional<int64_t> integerOf(const Datum& datum)
{
    if (datum.count() == 0) return std::nullopt;
    if (isIntegerType(datum.typeId())) return int64_t(datum.toLong(0));
    return wholeInteger(datum.toString());
}

template <class Container, class Key>
typename Container::const_iterator findKey(const Container& container, std::string_view key)
{
    try {
        return container.findKey(Key(std::string(key)));
    } catch (...) {
        return container.end();
    }
}

template <class Container>
void eraseKey(Container& container, std::string_view key)
{
    for (auto it = container.begin(); it != container.end();) {
        if (it->key() == key)
            it = container.erase(it);
        else
            ++it;
    }
}

template <class Container>
void eraseWhere(Container& container, const std::function<bool(std::string_view)>& shouldRemove)
{
    for (auto it = container.begin(); it != container.end();) {
        if (shouldRemove(it->key()))
            it = container.erase(it);
        else
            ++it;
    }
}

template <class Container>
void mergeInto(Container& target, const Container& source)
{
    for (const auto& datum : source) eraseKey(target, datum.key());
    for (const auto& datum : source) target.add(datum);
}

// Applies `read` to the first datum under the key, whichever family holds it.
template <class Data, class Read>
auto withDatum(const Data& data, std::string_view key, Read read)
    -> decltype(read(std::declval<const Exiv2::Exifdatum&>()))
{
    try {
        switch (familyOf(key)) {
        case Family::exif:
            if (auto it = findKey<Exiv2::ExifData, Exiv2::ExifKey>(data.exif, key); it != data.exif.end())
                return read(*it);
            break;
        case Family::iptc:
            if (auto it = findKey<Exiv2::IptcData, Exiv2::IptcKey>(data.iptc, key); it != data.iptc.end())
                return read(*it);
            break;
        case Family::xmp:
            if (auto it = findKey<Exiv2::XmpData, Exiv2::XmpKey>(data.xmp, key); it != data.xmp.end()) return read(*it);
            break;
        case Family::unknown: break;
        }
    } catch (...) {}
    return std::nullopt;
}

constexpr uint8_t serialMagic[8] = {'O', 'X', 'M', 'E', 'T', 'A', '1', 0};

std::span<const uint8_t> withoutExifHeader(std::span<const uint8_t> exif)
{
    static constexpr uint8_t header[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (exif.size() >= 6 && std::equal(header, header + 6, exif.begin())) return exif.subspan(6);
    return exif;
}

bool looksLikeTIFFHeader(std::span<const uint8_t> bytes)
{
    if (bytes.size() < 8) return false;
    return (bytes[0] == 'I' && bytes[1] == 'I' && bytes[2] == 42 && bytes[3] == 0) ||
           (bytes[0] == 'M' && bytes[1] == 'M' && bytes[2] == 0 && bytes[3] == 42);
}

// The bytes an IPTC entry is written as.
std::string writtenForm(const Exiv2::Iptcdatum& datum)
{
    std::string bytes(size_t(std::max(0L, datum.size())), '\0');
    datum.copy(reinterpret_cast<Exiv2::byte*>(bytes.data()), Exiv2::bigEndian);
    return bytes;
}

bool readsAsTheSameTime(std::span<const uint8_t> asWritten, const Exiv2::Iptcdatum& datum)
{
    Exiv2::TimeValue written;
    return written.read(asWritten.data(), long(asWritten.size()), Exiv2::bigEndian) == 0 &&
           written.toString() == datum.toString();
}

// IPTC times as the file wrote them. The metadata library reads a time without its zone
// ("154444", as many programs write one) and would write it back as UTC ("154444+0000"): a time it
// would not write back byte for byte is kept as the text it was.
void keepTimesAsWritten(Exiv2::IptcData& iptc, std::span<const uint8_t> block)
{
    using Key = std::pair<uint16_t, uint16_t>;
    std::map<Key, std::vector<std::span<const uint8_t>>> written;
    for (const IptcDataset& dataset : iptcDatasets(block))
        if (Exiv2::IptcDataSets::dataSetType(dataset.number, dataset.record) == Exiv2::time)
            written[{dataset.record, dataset.number}].push_back(dataset.data);
    // The library keeps the datasets in the order they are written.
    std::map<Key, size_t> seen;
    for (Exiv2::Iptcdatum& datum : iptc) {
        const Key key{datum.record(), datum.tag()};
        const auto times = written.find(key);
        if (times == written.end()) continue;
        const size_t index = seen[key]++;
        if (index >= times->second.size() || datum.typeId() != Exiv2::time) continue;
        const std::span<const uint8_t> asWritten = times->second[index];
        const std::string wouldWrite = writtenForm(datum);
        if (std::equal(wouldWrite.begin(), wouldWrite.end(), asWritten.begin(), asWritten.end()) ||
            !readsAsTheSameTime(asWritten, datum))
            continue;
        const Exiv2::StringValue text(std::string(asWritten.begin(), asWritten.end()));
        datum.setValue(&text);
    }
}

// Whether `block` decodes to the very datasets the library holds.
bool decodesTo(std::span<const uint8_t> block, const Exiv2::IptcData& iptc)
{
    Exiv2::IptcData decoded;
    if (block.empty() || block.size() > std::numeric_limits<uint32_t>::max() ||
        Exiv2::IptcParser::decode(decoded, block.data(), uint32_t(block.size())) != 0)
        return false;
    return std::equal(decoded.begin(), decoded.end(), iptc.begin(), iptc.end(), [](const auto& a, const auto& b) {
        return a.key() == b.key() && a.typeId() == b.typeId() && a.toString() == b.toString();
    });
}

// A TIFF's IPTC blocks where the library looks for them: its own tag, then the Photoshop resource.
std::vector<std::vector<uint8_t>> tiffIptcBlocks(const Exiv2::ExifData& exif, Exiv2::ByteOrder order)
{
    const auto stored = [&](const char* key) -> std::optional<std::vector<uint8_t>> {
        const auto datum = exif.findKey(Exiv2::ExifKey(key));
        if (datum == exif.end() || datum->size() <= 0) return std::nullopt;
        std::vector<uint8_t> bytes(size_t(datum->size()));
        datum->copy(bytes.data(), order);
        return bytes;
    };
    std::vector<std::vector<uint8_t>> blocks;
    if (auto block = stored("Exif.Image.IPTCNAA")) blocks.push_back(std::move(*block));
    if (const auto resources = stored("Exif.Image.ImageResources"))
        if (const auto iptc = findResource(photoshopResources(*resources), photoshopResourceID::iptc))
            blocks.emplace_back(iptc->begin(), iptc->end());
    return blocks;
}

// The IPTC resources of a Photoshop resource block joined, as the library reads a JPEG's or a PNG's;
// the whole block when it holds none (a PNG's raw profile may be bare IPTC).
std::vector<uint8_t> joinedIptcResources(std::span<const uint8_t> block)
{
    std::vector<uint8_t> joined;
    const Exiv2::byte* record = nullptr;
    uint32_t headerSize = 0, size = 0;
    for (size_t at = 0; at < block.size() && Exiv2::Photoshop::locateIptcIrb(block.data() + at, long(block.size() - at),
                                                                             &record, &headerSize, &size) == 0;) {
        joined.insert(joined.end(), record + headerSize, record + headerSize + size);
        at = size_t(record - block.data()) + headerSize + size + (size & 1);
    }
    return joined.empty() ? std::vector<uint8_t>(block.begin(), block.end()) : joined;
}

std::vector<std::vector<uint8_t>> jpegIptcBlocks(std::span<const uint8_t> file)
{
    const auto segments = jpegSegments(file);
    if (!segments) return {};
    std::vector<uint8_t> resources;
    for (const JPEGSegment& segment : *segments)
        if (segment.isApp(13) && segment.hasSignature(jpegPhotoshopSignature)) {
            const auto body = segment.afterSignature(jpegPhotoshopSignature);
            resources.insert(resources.end(), body.begin(), body.end());
        }
    return {joinedIptcResources(resources)};
}

std::vector<std::vector<uint8_t>> pngIptcBlocks(std::span<const uint8_t> file)
{
    std::vector<std::vector<uint8_t>> blocks;
    for (const auto& profile : png::rawProfiles(file, "iptc")) blocks.push_back(joinedIptcResources(profile));
    return blocks;
}

// A PSD's IPTC resource: after the 26-byte header and the colour mode data lie the resources.
std::vector<std::vector<uint8_t>> psdIptcBlocks(std::span<const uint8_t> file)
{
    ByteReader in(file);
    const auto modeData = in.skip(26) ? in.u32be() : std::nullopt;
    const auto resourceLength = modeData && in.skip(*modeData) ? in.u32be() : std::nullopt;
    const auto resources = resourceLength ? in.bytes(*resourceLength) : std::nullopt;
    const auto iptc =
        resources ? findResource(photoshopResources(*resources), photoshopResourceID::iptc) : std::nullopt;
    if (!iptc) return {};
    return {std::vector<uint8_t>(iptc->begin(), iptc->end())};
}

std::vector<std::vector<uint8_t>> iptcBlocksOf(const std::string& mimeType, std::span<const uint8_t> file)
{
    if (mimeType == "image/jpeg") return jpegIptcBlocks(file);
    if (mimeType == "image/png") return pngIptcBlocks(file);
    if (mimeType == "image/x-photoshop") return psdIptcBlocks(file);
    return {};
}

// The IPTC blocks of a file that the library may have decoded, in the order it tries them.
std::vector<std::vector<uint8_t>> storedIptcBlocks(Exiv2::Image& image, const Exiv2::ExifData& exif)
{
    if (image.mimeType() == "image/tiff") return tiffIptcBlocks(exif, image.byteOrder());
    Exiv2::BasicIo& io = image.io();
    if (io.open() != 0) return {};
    std::vector<std::vector<uint8_t>> blocks;
    if (const Exiv2::byte* bytes = io.mmap()) blocks = iptcBlocksOf(image.mimeType(), {bytes, size_t(io.size())});
    io.munmap();
    io.close();
    return blocks;
}

// IPTC Core's Date Created, from the date and time created as the file wrote them.
std::optional<std::string> xmpDateCreated(const Exiv2::IptcData& iptc)
{
    const auto date = iptc.findKey(Exiv2::IptcKey("Iptc.Application2.DateCreated"));
    if (date == iptc.end()) return std::nullopt;
    const auto time = iptc.findKey(Exiv2::IptcKey("Iptc.Application2.TimeCreated"));
    return xmpDateTime(writtenForm(*date), time == iptc.end() ? std::string() : writtenForm(*time));
}

std::optional<Metadata> readImage(Exiv2::Image::AutoPtr image)
{
    if (!image.get()) return std::nullopt;
    image->readMetadata();
    Metadata metadata;
    auto& data = MetadataAccess::data(metadata);
    data.exif = image->exifData();
    data.iptc = image->iptcData();
    data.xmp = image->xmpData();
    if (!data.iptc.empty())
        for (const auto& block : storedIptcBlocks(*image, data.exif))
            if (decodesTo(block, data.iptc)) {
                keepTimesAsWritten(data.iptc, block);
                break;
            }
    return metadata;
}

std::optional<std::string> writeImage(Exiv2::Image& image, const Exiv2::ExifData& exif, const Exiv2::IptcData& iptc,
                                      const Exiv2::XmpData& xmp)
{
    image.readMetadata();
    image.setExifData(exif);
    image.setIptcData(iptc);
    // The entries alone: XMP read from a file also keeps that file's packet as it came, parsed or
    // not, and a TIFF would be written with that packet, whatever the entries now say.
    Exiv2::XmpData entries;
    for (const auto& datum : xmp) entries.add(datum);
    image.setXmpData(entries);
    if (entries.empty()) image.clearXmpPacket();
    image.writeMetadata();
    return std::nullopt;
}

} // namespace

Metadata::Metadata() : data_(std::make_shared<Data>())
{
    initialiseOnce();
}
Metadata::~Metadata() = default;
Metadata::Metadata(const Metadata&) = default;
Metadata& Metadata::operator=(const Metadata&) = default;
Metadata::Metadata(Metadata&& other) noexcept : data_(std::make_shared<Data>())
{
    data_.swap(other.data_);
}
Metadata& Metadata::operator=(Metadata&& other) noexcept
{
    data_.swap(other.data_);
    return *this;
}

Metadata::Data& Metadata::mutableData()
{
    if (data_.use_count() > 1) data_ = std::make_shared<Data>(*data_);
    return *data_;
}

// ---- Reading ---------------------------------------------------------------------------------

namespace {

// This build of exiv2 reads no HEIF metadata; libheif finds the Exif and XMP items instead.
bool isHEIF(std::span<const uint8_t> firstBytes)
{
    const auto type = fileTypeOf(firstBytes);
    return type == FileType::heic || type == FileType::heif;
}

std::optional<Metadata> heifMetadata(std::span<const uint8_t> fileBytes)
{
    auto header = heif::readHeader(fileBytes);
    if (!header) return std::nullopt;
    return std::move(header->metadata);
}

} // namespace

std::optional<Metadata> Metadata::read(const std::filesystem::path& file)
{
    initialiseOnce();
    std::ifstream in(file, std::ios::binary);
    std::vector<uint8_t> start(64);
    in.read(reinterpret_cast<char*>(start.data()), std::streamsize(start.size()));
    start.resize(size_t(in.gcount()));
    if (isHEIF(start)) {
        in.seekg(0);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
        return heifMetadata(bytes);
    }
    try {
        Exiv2::BasicIo::AutoPtr io(new Exiv2::FileIo(file.string()));
        return readImage(Exiv2::ImageFactory::open(io));
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<Metadata> Metadata::read(std::span<const uint8_t> fileBytes)
{
    initialiseOnce();
    if (fileBytes.empty() || fileBytes.size() > size_t(std::numeric_limits<long>::max())) return std::nullopt;
    if (isHEIF(fileBytes)) return heifMetadata(fileBytes);
    try {
        return readImage(Exiv2::ImageFactory::open(fileBytes.data(), long(fileBytes.size())));
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<Metadata> Metadata::fromExif(std::span<const uint8_t> exif)
{
    initialiseOnce();
    exif = withoutExifHeader(exif);
    if (!looksLikeTIFFHeader(exif) || exif.size() > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    try {
        Metadata metadata;
        Exiv2::ExifParser::decode(metadata.data_->exif, exif.data(), uint32_t(exif.size()));
        return metadata;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<Metadata> Metadata::fromIptc(std::span<const uint8_t> iptc)
{
    initialiseOnce();
    if (iptc.empty() || iptc.size() > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    try {
        Metadata metadata;
        if (Exiv2::IptcParser::decode(metadata.data_->iptc, iptc.data(), uint32_t(iptc.size())) != 0)
            return std::nullopt;
        keepTimesAsWritten(metadata.data_->iptc, iptc);
        return metadata;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<Metadata> Metadata::fromXmp(std::string_view packet)
{
    initialiseOnce();
    // The toolkit reads up to the first NUL; a packet padded with NULs is still the packet.
    packet = packet.substr(0, packet.find('\0'));
    if (trimmed(packet).empty()) return std::nullopt;
    try {
        Metadata metadata;
        if (Exiv2::XmpParser::decode(metadata.data_->xmp, std::string(packet)) != 0) return std::nullopt;
        return metadata;
    } catch (...) {
        return std::nullopt;
    }
}

void Metadata::merge(const Metadata& other)
{
    if (other.isEmpty()) return;
    const Data source = *other.data_; // `other` may be this very value
    Data& target = mutableData();
    mergeInto(target.exif, source.exif);
    mergeInto(target.iptc, source.iptc);
    mergeInto(target.xmp, source.xmp);
}

// ---- Storing ---------------------------------------------------------------------------------

std::vector<uint8_t> Metadata::serialized() const
{
    const std::vector<uint8_t> exif = exifBytes();
    const std::vector<uint8_t> iptc = iptcBytes();
    const std::string xmp = xmpPacket();
    ByteWriter out;
    out.append(serialMagic, sizeof serialMagic);
    for (std::span<const uint8_t> block :
         {std::span<const uint8_t>(exif), std::span<const uint8_t>(iptc),
          std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(xmp.data()), xmp.size())}) {
        out.u32le(uint32_t(block.size()));
        out.append(block.data(), block.size());
    }
    return out.take();
}

std::optional<Metadata> Metadata::deserialized(std::span<const uint8_t> bytes)
{
    ByteReader in(bytes);
    const auto magic = in.bytes(sizeof serialMagic);
    if (!magic || !std::equal(magic->begin(), magic->end(), serialMagic)) return std::nullopt;
    std::span<const uint8_t> blocks[3];
    for (auto& block : blocks) {
        const auto size = in.u32le();
        if (!size) return std::nullopt;
        const auto content = in.bytes(*size);
        if (!content) return std::nullopt;
        block = *content;
    }
    if (!in.atEnd()) return std::nullopt;
    Metadata metadata;
    for (int k = 0; k < 3; ++k) {
        if (blocks[k].empty()) continue;
        std::optional<Metadata> part =
            k == 0   ? fromExif(blocks[k])
            : k == 1 ? fromIptc(blocks[k])
                     : fromXmp({reinterpret_cast<const char*>(blocks[k].data()), blocks[k].size()});
        if (!part) return std::nullopt;
        metadata.merge(*part);
    }
    return metadata;
}

// ---- Writing ---------------------------------------------------------------------------------

std::vector<uint8_t> Metadata::exifBytes() const
{
    if (data_->exif.empty()) return {};
    try {
        Exiv2::Blob blob;
        Exiv2::ExifParser::encode(blob, Exiv2::littleEndian, data_->exif);
        return {blob.begin(), blob.end()};
    } catch (...) {
        return {};
    }
}

std::vector<uint8_t> Metadata::iptcBytes() const
{
    if (data_->iptc.empty()) return {};
    try {
        const Exiv2::DataBuf buffer = Exiv2::IptcParser::encode(data_->iptc);
        if (buffer.size_ <= 0) return {};
        return {buffer.pData_, buffer.pData_ + buffer.size_};
    } catch (...) {
        return {};
    }
}

std::string Metadata::xmpPacket() const
{
    if (data_->xmp.empty()) return {};
    try {
        std::string packet;
        if (Exiv2::XmpParser::encode(packet, data_->xmp) != 0) return {};
        return packet;
    } catch (...) {
        return {};
    }
}

std::string Metadata::iptcAsXmpPacket() const
{
    if (data_->iptc.empty()) return {};
    try {
        // Text declared as UTF-8 (or that reads as UTF-8) stays so; anything else is Latin-1.
        Exiv2::XmpData converted;
        Exiv2::copyIptcToXmp(data_->iptc, converted);
        // The library leaves the dates out of its conversion.
        if (const auto created = xmpDateCreated(data_->iptc)) converted["Xmp.photoshop.DateCreated"] = *created;
        std::string packet;
        if (converted.empty() || Exiv2::XmpParser::encode(packet, converted) != 0) return {};
        return packet;
    } catch (...) {
        return {};
    }
}

std::optional<std::string> Metadata::writeInto(const std::filesystem::path& file) const
{
    const int descriptor = ::open(file.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (descriptor < 0) return "could not open " + file.filename().string() + ": " + std::strerror(errno);
    auto error = writeInto(descriptor);
    if (::close(descriptor) != 0 && !error) error = "could not close " + file.filename().string();
    return error;
}

namespace {

// A file's bytes mapped privately: the metadata library reads them without a copy, and nothing it
// does to them reaches the file.
class PrivateMapping {
public:
    explicit PrivateMapping(int descriptor)
    {
        struct stat info {};
        if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0 ||
            uint64_t(info.st_size) > uint64_t(std::numeric_limits<long>::max()))
            return;
        void* bytes = ::mmap(nullptr, size_t(info.st_size), PROT_READ | PROT_WRITE, MAP_PRIVATE, descriptor, 0);
        if (bytes == MAP_FAILED) return;
        bytes_ = static_cast<const Exiv2::byte*>(bytes);
        size_ = size_t(info.st_size);
    }
    ~PrivateMapping()
    {
        if (bytes_) ::munmap(const_cast<Exiv2::byte*>(bytes_), size_);
    }
    PrivateMapping(const PrivateMapping&) = delete;
    PrivateMapping& operator=(const PrivateMapping&) = delete;

    const Exiv2::byte* bytes() const { return bytes_; }
    long size() const { return long(size_); }

private:
    const Exiv2::byte* bytes_ = nullptr;
    size_t size_ = 0;
};

bool replaceContent(int descriptor, const Exiv2::byte* bytes, size_t count)
{
    for (size_t done = 0; done < count;) {
        const ssize_t wrote = ::pwrite(descriptor, bytes + done, count - done, off_t(done));
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += size_t(wrote);
    }
    return ::ftruncate(descriptor, off_t(count)) == 0;
}

} // namespace

std::optional<std::string> Metadata::writeInto(int descriptor) const
{
    try {
        const PrivateMapping file(descriptor);
        if (!file.bytes()) return "no picture to write into";
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(file.bytes(), file.size());
        if (!image.get()) return "no metadata writer for this picture";
        if (auto error = writeImage(*image, data_->exif, data_->iptc, data_->xmp)) return error;
        // The rewritten file lives in the library's memory, apart from the mapping.
        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0) return "could not read the rewritten picture back";
        const Exiv2::byte* bytes = io.mmap();
        const bool replaced = bytes && replaceContent(descriptor, bytes, size_t(io.size()));
        io.munmap();
        io.close();
        if (!replaced) return std::string("could not write metadata: ") + std::strerror(errno);
        return std::nullopt;
    } catch (const std::exception& error) {
        return std::string("could not write metadata: ") + error.what();
    } catch (...) {
        return "could not write metadata";
    }
}

std::optional<std::string> Metadata::writeInto(std::vector<uint8_t>& fileBytes) const
{
    if (fileBytes.empty() || fileBytes.size() > size_t(std::numeric_limits<long>::max()))
        return "no picture to write into";
    try {
        Exiv2::Image::AutoPtr image = Exiv2::ImageFactory::open(fileBytes.data(), long(fileBytes.size()));
        if (!image.get()) return "no metadata writer for this picture";
        if (auto error = writeImage(*image, data_->exif, data_->iptc, data_->xmp)) return error;
        Exiv2::BasicIo& io = image->io();
        if (io.open() != 0) return "could not read the rewritten picture back";
        std::vector<uint8_t> rewritten(io.size());
        const long got = rewritten.empty() ? 0 : io.read(rewritten.data(), long(rewritten.size()));
        io.close();
        if (got != long(rewritten.size())) return "could not read the rewritten picture back";
        fileBytes = std::move(rewritten);
        return std::nullopt;
    } catch (const std::exception& error) {
        return std::string("could not write metadata: ") + error.what();
    } catch (...) {
        return "could not write metadata";
    }
}

// ---- Entries ---------------------------------------------------------------------------------

bool Metadata::isEmpty() const
{
    return !hasExif() && !hasIptc() && !hasXmp();
}
bool Metadata::hasExif() const
{
    return !data_->exif.empty();
}
bool Metadata::hasIptc() const
{
    return !data_->iptc.empty();
}
bool Metadata::hasXmp() const
{
    return !data_->xmp.empty();
}

bool Metadata::contains(std::string_view key) const
{
    return text(key).has_value();
}

std::vector<std::string> Metadata::keys() const
{
    std::vector<std::string> keys;
    for (const auto& datum : data_->exif) keys.push_back(datum.key());
    for (const auto& datum : data_->iptc) keys.push_back(datum.key());
    for (const auto& datum : data_->xmp) keys.push_back(datum.key());
    return keys;
}

std::optional<std::string> Metadata::text(std::string_view key) const
{
    return withDatum(*data_, key, [](const auto& datum) -> std::optional<std::string> { return datum.toString(); });
}

std::vector<std::string> Metadata::texts(std::string_view key) const
{
    std::vector<std::string> all;
    const auto collect = [&](const auto& container) {
        for (const auto& datum : container)
            if (datum.key() == key) all.push_back(datum.toString());
    };
    switch (familyOf(key)) {
    case Family::exif: collect(data_->exif); break;
    case Family::iptc: collect(data_->iptc); break;
    case Family::xmp: collect(data_->xmp); break;
    case Family::unknown: break;
    }
    return all;
}

std::optional<int64_t> Metadata::integer(std::string_view key) const
{
    return withDatum(*data_, key, [](const auto& datum) { return integerOf(datum); });
}

std::optional<double> Metadata::number(std::string_view key) const
{
    return withDatum(*data_, key, [](const auto& datum) { return numberOf(datum); });
}

bool Metadata::setText(std::string_view key, std::string_view value)
{
    try {
        const std::string keyText(key), valueText(value);
        switch (familyOf(key)) {
        case Family::exif: {
            Exiv2::Exifdatum datum{Exiv2::ExifKey(keyText)};
            if (datum.setValue(valueText) != 0) return false;
            Data& data = mutableData();
            eraseKey(data.exif, key);
            data.exif.add(datum);
            return true;
        }
        case Family::iptc: {
            Exiv2::Iptcdatum datum{Exiv2::IptcKey(keyText)};
            if (datum.setValue(valueText) != 0) return false;
            Data& data = mutableData();
            eraseKey(data.iptc, key);
            data.iptc.add(datum);
            return true;
        }
        case Family::xmp: {
            Exiv2::Xmpdatum datum{Exiv2::XmpKey(keyText)};
            if (datum.setValue(valueText) != 0) return false;
            Data& data = mutableData();
            eraseKey(data.xmp, key);
            data.xmp.add(datum);
            return true;
        }
        case Family::unknown: return false;
        }
    } catch (...) {}
    return false;
}

bool Metadata::setInteger(std::string_view key, int64_t value)
{
    return setText(key, std::to_string(value));
}

void Metadata::remove(std::string_view key)
{
    if (!contains(key)) return;
    Data& data = mutableData();
    eraseKey(data.exif, key);
    eraseKey(data.iptc, key);
    eraseKey(data.xmp, key);
}

void Metadata::removeIf(const std::function<bool(std::string_view key)>& shouldRemove)
{
    Data& data = mutableData();
    eraseWhere(data.exif, shouldRemove);
    eraseWhere(data.iptc, shouldRemove);
    eraseWhere(data.xmp, shouldRemove);
}

int Metadata::orientation() const
{
    const auto value = integer("Exif.Image.Orientation");
    return value && *value >= 1 && *value <= 8 ? int(*value) : 1;
}

} // namespace oxel
