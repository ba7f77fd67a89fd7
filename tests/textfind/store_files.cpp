#include "store_files.h"

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "btree_file.h"
#include "format.h"
#include "scramble.h"
#include "textfind.h"

namespace test {

namespace {
Faults *installed = nullptr;
std::optional<int> planned(textfind::StoreCall call) {
    const std::optional<uint32_t> code = installed->next(call);
    return code ? std::optional<int>(static_cast<int>(*code)) : std::nullopt;
}
}  // namespace

StoreFaults::StoreFaults() {
    installed = &faults;
    textfind::storeFaultHook = &planned;
}

StoreFaults::~StoreFaults() {
    textfind::storeFaultHook = nullptr;
    installed = nullptr;
}

ScratchFolder::ScratchFolder() : previous_(std::filesystem::current_path().string()) {
    std::filesystem::current_path(folder_.path());
}

// Runs before folder_ is removed, so the process never sits in a deleted folder.
ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

void writeBtree(const std::string &path,
                const std::vector<std::pair<std::string, std::string>> &items, bool checksums) {
    std::filesystem::remove(path);
    textfind::BtreeFile file;
    if (!file.create(path, {4096, checksums}, 0)) throw std::runtime_error(file.error());
    for (const auto &[key, data] : items)
        if (!file.put(key, data)) throw std::runtime_error("put failed in " + path);
    if (!file.finish()) throw std::runtime_error(file.error());
}

namespace {
uint32_t pageSizeOf(const std::string &bytes) {
    return textfind::readU32(reinterpret_cast<const unsigned char *>(bytes.data()) +
                             textfind::kMetaPageSizeOffset);
}
}  // namespace

std::vector<PageSeen> pagesOf(const std::string &bytes) {
    const uint32_t size = pageSizeOf(bytes);
    std::vector<PageSeen> pages;
    for (std::size_t at = 0; at + size <= bytes.size(); at += size) {
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.data()) + at;
        pages.push_back({static_cast<uint32_t>(at / size), p[textfind::kPageTypeOffset],
                         p[textfind::kPageLevelOffset],
                         textfind::readU32(p + textfind::kPageNextOffset)});
    }
    return pages;
}

std::vector<uint32_t> childrenOf(const std::string &bytes, uint32_t page) {
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data()) +
                    std::size_t{page} * pageSizeOf(bytes);
    std::vector<uint32_t> children;
    for (uint32_t i = 0; i < textfind::readU16(p + textfind::kPageEntriesOffset); ++i) {
        const uint32_t at = textfind::readU16(p + textfind::kPageHeaderSize + 2 * i);
        children.push_back(textfind::readU32(p + at + textfind::kInternalChildOffset));
    }
    return children;
}

std::string recordKey(int32_t record) {
    const textfind::RecordKey key = textfind::recordKey(record);
    return std::string(reinterpret_cast<const char *>(key.data()), key.size());
}

std::string postingsData(const std::vector<std::pair<int32_t, std::string>> &postings) {
    std::string data;
    for (const auto &[record, code] : postings) {
        data += recordKey(record);
        std::string bytes = code;
        bytes.resize(2, '\0');
        data += bytes;
        data += "\xAA\x55";  // reserved bytes: any value must do
    }
    return data;
}

void writeRecordStore(const std::string &path, const std::map<int32_t, std::string> &texts) {
    std::vector<std::pair<std::string, std::string>> items;
    for (const auto &[record, text] : texts) {
        std::string scrambled = text;
        textfind::scrambleInPlace(scrambled);
        items.emplace_back(recordKey(record), scrambled);
    }
    writeBtree(path, items);
}

std::map<std::string, std::string> readBtree(const std::string &path) {
    std::map<std::string, std::string> items;
    textfind::BtreeFile file;
    if (file.open(path.c_str(), 0, true) != textfind::OpenResult::kOpened)
        throw std::runtime_error("cannot open " + path);
    file.forEach([&](std::string_view key, std::string_view data) { items.emplace(key, data); });
    return items;
}

std::vector<std::pair<std::string, std::string>> readBtreeItems(const std::string &path) {
    const std::map<std::string, std::string> items = readBtree(path);
    return {items.begin(), items.end()};
}

bool hasPageChecksums(const std::string &path) {
    textfind::BtreeFile file;
    if (file.open(path.c_str(), 0, true) != textfind::OpenResult::kOpened)
        throw std::runtime_error("cannot open " + path);
    return file.hasPageChecksums();
}

std::vector<Delivery> drain(std::size_t limit) {
    std::vector<Delivery> out;
    std::vector<char> buffer(1 << 16);
    for (std::size_t i = 0; i < limit; ++i) {
        const int32_t code = ResSet(buffer.data());
        if (code == 0) break;
        out.push_back({code, code == 1 ? std::string(buffer.data()) : std::string()});
        if (code == -2 && out.size() > 1 && out[out.size() - 2].code == -2) break;
    }
    return out;
}

}  // namespace test
