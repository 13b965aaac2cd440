// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/HeifItems.h"

#include <libheif/heif.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <vector>

namespace heifitems {

namespace {

[[noreturn]] void Fail(const std::string& why)
{
    throw std::runtime_error("HEIF metadata: " + why);
}

// Big-endian fields read from a span of the file; reading past its end fails.
class Reader {
public:
    Reader(const std::string& data, std::size_t at, std::size_t end) : d_(data), at_(at), end_(end)
    {
    }
    std::uint64_t Read(int bytes)
    {
        if (bytes < 0 || std::size_t(bytes) > end_ - at_) Fail("a box ends early");
        std::uint64_t value = 0;
        for (int i = 0; i < bytes; ++i) value = value << 8 | std::uint8_t(d_[at_++]);
        return value;
    }
    std::size_t At() const { return at_; }
    std::size_t End() const { return end_; }

private:
    const std::string& d_;
    std::size_t at_;
    std::size_t end_;
};

void Put(std::string& out, std::uint64_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>(value >> (8 * i) & 0xFF));
}

struct Box {
    std::string type;
    std::size_t start = 0;   // of its header
    std::size_t header = 0;  // header bytes (size, type, a large size, a user type)
    std::size_t size = 0;    // header included
    bool toEnd = false;      // its size field is 0: it runs to the end of the file
    std::size_t End() const { return start + size; }
    std::size_t Body() const { return start + header; }
};

std::vector<Box> ReadBoxes(const std::string& data, std::size_t at, std::size_t end)
{
    std::vector<Box> boxes;
    while (at < end) {
        if (end - at < 8) Fail("a box header is cut off");
        Reader reader(data, at, end);
        Box box;
        box.start = at;
        std::uint64_t size = reader.Read(4);
        box.type = data.substr(at + 4, 4);
        box.header = 8;
        reader.Read(4);
        if (size == 1) {
            size = reader.Read(8);
            box.header = 16;
        } else if (size == 0) {
            size = end - at;
            box.toEnd = true;
        }
        if (box.type == "uuid") box.header += 16;
        if (size < box.header || size > end - at) Fail("the " + box.type + " box overruns");
        box.size = static_cast<std::size_t>(size);
        boxes.push_back(box);
        at += box.size;
    }
    return boxes;
}

std::string MakeBox(const char* type, const std::string& body)
{
    std::string box;
    if (body.size() > 0xFFFFFFFFu - 8) Fail("a box is too large");
    Put(box, body.size() + 8, 4);
    box.append(type, 4);
    box += body;
    return box;
}

std::string FullBoxHead(int version, std::uint32_t flags)
{
    std::string head;
    Put(head, std::uint64_t(version) << 24 | (flags & 0xFFFFFF), 4);
    return head;
}

// The item location box ("iloc"), every field read.
struct Extent {
    std::uint64_t index = 0;
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};
struct Location {
    std::uint32_t id = 0;
    int method = 0;  // construction method: 0 file offset, 1 the meta box's idat, 2 another item
    std::uint16_t dataReference = 0;  // 0: this file
    std::uint64_t base = 0;
    std::vector<Extent> extents;
};
struct Locations {
    int version = 0;
    std::uint32_t flags = 0;
    int offsetSize = 0, lengthSize = 0, baseSize = 0, indexSize = 0;
    std::vector<Location> items;
};

bool ValidFieldSize(int size)
{
    return size == 0 || size == 4 || size == 8;
}

Locations ReadLocations(const std::string& data, const Box& box)
{
    Reader r(data, box.Body(), box.End());
    Locations l;
    const std::uint64_t head = r.Read(4);
    l.version = int(head >> 24);
    l.flags = std::uint32_t(head & 0xFFFFFF);
    if (l.version > 2) Fail("item locations of version " + std::to_string(l.version));
    const std::uint64_t sizes = r.Read(2);
    l.offsetSize = int(sizes >> 12 & 0xF);
    l.lengthSize = int(sizes >> 8 & 0xF);
    l.baseSize = int(sizes >> 4 & 0xF);
    l.indexSize = l.version >= 1 ? int(sizes & 0xF) : 0;
    if (!ValidFieldSize(l.offsetSize) || !ValidFieldSize(l.lengthSize) ||
        !ValidFieldSize(l.baseSize) || !ValidFieldSize(l.indexSize))
        Fail("item locations with odd field sizes");
    const std::uint64_t count = r.Read(l.version < 2 ? 2 : 4);
    for (std::uint64_t i = 0; i < count; ++i) {
        Location item;
        item.id = std::uint32_t(r.Read(l.version < 2 ? 2 : 4));
        if (l.version >= 1) item.method = int(r.Read(2) & 0xF);
        item.dataReference = std::uint16_t(r.Read(2));
        item.base = r.Read(l.baseSize);
        const std::uint64_t extents = r.Read(2);
        for (std::uint64_t e = 0; e < extents; ++e) {
            Extent extent;
            extent.index = r.Read(l.indexSize);
            extent.offset = r.Read(l.offsetSize);
            extent.length = r.Read(l.lengthSize);
            item.extents.push_back(extent);
        }
        l.items.push_back(std::move(item));
    }
    return l;
}

std::string WriteLocations(const Locations& l)
{
    std::string body = FullBoxHead(l.version, l.flags);
    Put(body,
        std::uint64_t(l.offsetSize) << 12 | std::uint64_t(l.lengthSize) << 8 |
            std::uint64_t(l.baseSize) << 4 | std::uint64_t(l.indexSize),
        2);
    const auto fits = [](std::uint64_t value, int bytes) {
        return bytes >= 8 || value >> (8 * bytes) == 0;
    };
    Put(body, l.items.size(), l.version < 2 ? 2 : 4);
    for (const Location& item : l.items) {
        if (l.version < 2 && item.id > 0xFFFF) Fail("an item number too large for its box");
        Put(body, item.id, l.version < 2 ? 2 : 4);
        if (l.version >= 1) Put(body, std::uint64_t(item.method), 2);
        Put(body, item.dataReference, 2);
        if (!fits(item.base, l.baseSize)) Fail("an item base offset does not fit");
        Put(body, item.base, l.baseSize);
        Put(body, item.extents.size(), 2);
        for (const Extent& extent : item.extents) {
            if (!fits(extent.offset, l.offsetSize) || !fits(extent.length, l.lengthSize) ||
                !fits(extent.index, l.indexSize))
                Fail("an item extent does not fit");
            Put(body, extent.index, l.indexSize);
            Put(body, extent.offset, l.offsetSize);
            Put(body, extent.length, l.lengthSize);
        }
    }
    return MakeBox("iloc", body);
}

// The item info box ("iinf"): its version and the item info entries as they are.
struct ItemInfos {
    int version = 0;
    std::uint64_t count = 0;
    std::string entries;
    std::uint32_t highestId = 0;
};

ItemInfos ReadItemInfos(const std::string& data, const Box& box)
{
    Reader r(data, box.Body(), box.End());
    ItemInfos infos;
    infos.version = int(r.Read(4) >> 24);
    infos.count = r.Read(infos.version == 0 ? 2 : 4);
    infos.entries = data.substr(r.At(), box.End() - r.At());
    for (const Box& entry : ReadBoxes(data, r.At(), box.End())) {
        if (entry.type != "infe") continue;
        Reader e(data, entry.Body(), entry.End());
        const int version = int(e.Read(4) >> 24);
        infos.highestId = std::max(infos.highestId, std::uint32_t(e.Read(version == 3 ? 4 : 2)));
    }
    return infos;
}

std::string ItemInfoEntry(std::uint32_t id, const char* type, const char* contentType)
{
    const int version = id > 0xFFFF ? 3 : 2;
    std::string body = FullBoxHead(version, 0);
    Put(body, id, version == 3 ? 4 : 2);
    Put(body, 0, 2);  // no protection
    body.append(type, 4);
    body.push_back('\0');  // no name
    if (contentType) {
        body += contentType;
        body.push_back('\0');
    }
    return MakeBox("infe", body);
}

struct NewItem {
    std::uint32_t id = 0;
    std::string payload;
    const char* type = nullptr;
    const char* contentType = nullptr;
};

std::uint32_t PrimaryId(const std::string& data, const Box& box)
{
    Reader r(data, box.Body(), box.End());
    const int version = int(r.Read(4) >> 24);
    return std::uint32_t(r.Read(version == 0 ? 2 : 4));
}

// The meta box with the new items declared; their bytes are at dataAt in the file, one after
// the other, and the existing file offsets at or past shiftFrom move by shift.
std::string RebuildMeta(const std::string& data, const Box& meta, const std::vector<Box>& children,
                        const Locations& oldLocations, const ItemInfos& infos,
                        const std::vector<NewItem>& items, std::uint32_t primary,
                        std::uint64_t dataAt, std::uint64_t shiftFrom, std::int64_t shift)
{
    Locations locations = oldLocations;
    for (Location& item : locations.items) {
        if (item.method != 0 || item.dataReference != 0) continue;
        if (item.base > 0 && item.base >= shiftFrom) {
            item.base += std::uint64_t(shift);
            continue;
        }
        for (Extent& extent : item.extents)
            if (item.base + extent.offset >= shiftFrom) extent.offset += std::uint64_t(shift);
    }
    // The file offsets are written in 4 bytes unless they were in 8 or the file needs them;
    // the lengths likewise, as the new items need lengths even where none were written.
    const bool large = dataAt + 0x10000 > 0xFFFFFFFFu;
    locations.offsetSize = locations.offsetSize == 8 || large ? 8 : 4;
    locations.lengthSize = locations.lengthSize == 8 ? 8 : 4;
    std::uint64_t at = dataAt;
    for (const NewItem& item : items) {
        Location location;
        location.id = item.id;
        location.extents.push_back({0, at, item.payload.size()});
        at += item.payload.size();
        locations.items.push_back(location);
    }

    std::string itemInfos = FullBoxHead(infos.version, 0);
    const std::uint64_t count = infos.count + items.size();
    if (infos.version == 0 && count > 0xFFFF) Fail("too many items");
    Put(itemInfos, count, infos.version == 0 ? 2 : 4);
    itemInfos += infos.entries;
    for (const NewItem& item : items)
        itemInfos += ItemInfoEntry(item.id, item.type, item.contentType);

    // Each new item describes the primary picture.
    std::string references;
    for (const NewItem& item : items) {
        std::string reference;
        const bool wide = item.id > 0xFFFF || primary > 0xFFFF;
        Put(reference, item.id, wide ? 4 : 2);
        Put(reference, 1, 2);
        Put(reference, primary, wide ? 4 : 2);
        references += MakeBox("cdsc", reference);
    }
    const bool wideReferences = std::any_of(items.begin(), items.end(), [&](const NewItem& i) {
        return i.id > 0xFFFF || primary > 0xFFFF;
    });

    std::string body = data.substr(meta.Body(), 4);  // version and flags
    bool referenced = false;
    for (const Box& child : children) {
        if (child.type == "iloc") {
            body += WriteLocations(locations);
        } else if (child.type == "iinf") {
            body += MakeBox("iinf", itemInfos);
        } else if (child.type == "iref") {
            const int version = std::uint8_t(data[child.Body()]);
            if (version == 0 && wideReferences) Fail("item references too narrow");
            body +=
                MakeBox("iref", data.substr(child.Body(), child.size - child.header) + references);
            referenced = true;
        } else {
            body += data.substr(child.start, child.size);
        }
    }
    if (!referenced) body += MakeBox("iref", FullBoxHead(wideReferences ? 1 : 0, 0) + references);
    return MakeBox("meta", body);
}

// What libheif reads of the result: the primary picture with as many metadata items as added.
void Verify(const std::string& file, std::size_t added)
{
    const std::unique_ptr<heif_context, decltype(&heif_context_free)> context(heif_context_alloc(),
                                                                              heif_context_free);
    if (!context) Fail("no memory to read the result back");
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), file.data(),
                                                                  file.size(), nullptr);
    if (error.code != heif_error_Ok)
        Fail(std::string("the result does not read: ") + error.message);
    heif_image_handle* raw = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &raw);
    if (error.code != heif_error_Ok)
        Fail(std::string("the result has no picture: ") + error.message);
    const std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> handle(
        raw, heif_image_handle_release);
    const int found = heif_image_handle_get_number_of_metadata_blocks(raw, nullptr);
    if (found < 0 || std::size_t(found) < added)
        Fail("the result holds " + std::to_string(found) + " metadata items, not " +
             std::to_string(added));
}

}  // namespace

std::string AddMetadata(const std::string& file, const std::string& exifTiff,
                        const std::string& xmp)
{
    if (exifTiff.empty() && xmp.empty()) return file;
    const std::vector<Box> top = ReadBoxes(file, 0, file.size());
    const auto metaAt =
        std::find_if(top.begin(), top.end(), [](const Box& b) { return b.type == "meta"; });
    if (metaAt == top.end() || metaAt->header != 8) Fail("no meta box");
    const Box meta = *metaAt;
    if (meta.size < meta.header + 4) Fail("the meta box is empty");
    const std::vector<Box> children = ReadBoxes(file, meta.Body() + 4, meta.End());
    const auto child = [&children](const char* type) -> std::optional<Box> {
        for (const Box& box : children)
            if (box.type == type) return box;
        return std::nullopt;
    };
    const std::optional<Box> pitm = child("pitm"), iloc = child("iloc"), iinf = child("iinf");
    if (!pitm || !iloc || !iinf) Fail("the meta box lacks its primary item, locations or infos");

    const std::uint32_t primary = PrimaryId(file, *pitm);
    const Locations locations = ReadLocations(file, *iloc);
    const ItemInfos infos = ReadItemInfos(file, *iinf);
    std::uint32_t nextId = std::max(primary, infos.highestId);
    for (const Location& item : locations.items) nextId = std::max(nextId, item.id);

    std::vector<NewItem> items;
    if (!exifTiff.empty()) {
        NewItem exif;
        exif.id = ++nextId;
        exif.payload = std::string(4, '\0') + exifTiff;  // the TIFF header follows at once
        exif.type = "Exif";
        items.push_back(std::move(exif));
    }
    if (!xmp.empty()) {
        NewItem packet;
        packet.id = ++nextId;
        packet.payload = xmp;
        packet.type = "mime";
        packet.contentType = "application/rdf+xml";
        items.push_back(std::move(packet));
    }

    // Built once to learn how much the meta box grows, then with the offsets moved by that.
    const std::string sized = RebuildMeta(file, meta, children, locations, infos, items, primary,
                                          file.size(), meta.End(), 0);
    const std::int64_t shift = std::int64_t(sized.size()) - std::int64_t(meta.size);
    const std::uint64_t dataAt = std::uint64_t(std::int64_t(file.size()) + shift) + 8;
    const std::string rebuilt = RebuildMeta(file, meta, children, locations, infos, items, primary,
                                            dataAt, meta.End(), shift);
    if (rebuilt.size() != sized.size()) Fail("the meta box changed size");

    std::string out = file.substr(0, meta.start) + rebuilt;
    for (auto box = std::next(metaAt); box != top.end(); ++box) {
        std::string bytes = file.substr(box->start, box->size);
        if (box->toEnd) {
            // It ran to the end of the file, which is now the new items' box: its size is
            // written out.
            if (box->header != 8 || box->size > 0xFFFFFFFFu) Fail("a box of open size");
            std::string size;
            Put(size, box->size, 4);
            bytes.replace(0, 4, size);
        }
        out += bytes;
    }
    std::string payloads;
    for (const NewItem& item : items) payloads += item.payload;
    out += MakeBox("mdat", payloads);
    Verify(out, items.size());
    return out;
}

}  // namespace heifitems
