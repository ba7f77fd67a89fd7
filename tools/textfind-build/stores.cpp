#include "stores.h"

#include <algorithm>
#include <random>
#include <span>
#include <string_view>
#include <utility>

#include "format.h"
#include "postings.h"
#include "replace.h"
#include "runs.h"
#include "scramble.h"
#include "store_writer.h"
#include "word_table.h"
#include "words.h"

namespace textfind::build {

struct StoreBuilder::State {
    State(std::string folder, std::string source, BuildLimits limits, std::string prefix)
        : folder(std::move(folder)),
          limits(limits),
          records(prefix + "records", limits.recordRunBytes, std::move(source)),
          postings(prefix + "postings", limits.postingRunEntries, words) {}

    std::string folder;
    BuildLimits limits;
    StoreSummary summary;
    WordTable words;
    RecordRuns records;
    PostingRuns postings;
    std::string scrambled;
    std::vector<uint32_t> wordsOfRecord;
    std::string normal;
    std::function<void(const char *, std::size_t, std::size_t)> progress;

    // Now and then while a store is written; `done == total` at its end.
    void tell(const char *file, std::size_t done, std::size_t total) {
        if (progress && (done == total || (done % 16384 == 0 && done < total)))
            progress(file, done, total);
    }
};

StoreBuilder::StoreBuilder(std::string folder, std::string sourceName, BuildLimits limits) {
    // A char, not ".": GCC 12 at -O3 misreads assigning a literal over an
    // empty string as an overlapping copy (-Wrestrict).
    if (folder.empty()) folder = '.';
    // This build's temporary files, removed with their runs.
    std::string prefix =
        folder + "/.textfind-build." + std::to_string(std::random_device{}() % 1000000) + ".";
    state_ = std::make_unique<State>(std::move(folder), std::move(sourceName), limits,
                                     std::move(prefix));
}

StoreBuilder::~StoreBuilder() = default;

std::size_t StoreBuilder::records() const { return state_->summary.records; }
std::size_t StoreBuilder::words() const { return state_->words.size(); }

void StoreBuilder::onProgress(
    std::function<void(const char *, std::size_t, std::size_t)> progress) {
    state_->progress = std::move(progress);
}

void StoreBuilder::add(const CatalogueRecord &record, std::size_t line) {
    State &s = *state_;
    ++s.summary.records;
    s.summary.longestText = std::max(s.summary.longestText, record.text.size());
    s.scrambled = record.text;
    scrambleInPlace(s.scrambled);
    s.records.add(record.number, line, s.scrambled);

    // Each word once per record.
    s.wordsOfRecord.clear();
    forEachIndexedWord(record.text, [&](std::string_view word) {
        wordNormalForm(word, s.normal);
        s.wordsOfRecord.push_back(s.words.idOf(s.normal));
    });
    std::sort(s.wordsOfRecord.begin(), s.wordsOfRecord.end());
    s.wordsOfRecord.erase(std::unique(s.wordsOfRecord.begin(), s.wordsOfRecord.end()),
                          s.wordsOfRecord.end());
    const char code[2] = {record.category.size() > 0 ? record.category[0] : '\0',
                          record.category.size() > 1 ? record.category[1] : '\0'};
    for (uint32_t word : s.wordsOfRecord) s.postings.add(word, record.number, code);
}

StoreSummary StoreBuilder::finish(const std::optional<std::string> &codePage) {
    State &s = *state_;
    const std::string suffix = ".tmp." + std::to_string(std::random_device{}() % 1000000);
    StoreWriter recordsFile(s.folder + "/" + kRecordFile + suffix, kRecordStoreLayout,
                            s.limits.cacheBytes);
    std::size_t written = 0;
    s.records.merge([&](const RecordKey &key, std::string_view text) {
        recordsFile.put(std::string_view(reinterpret_cast<const char *>(key.data()), key.size()),
                        text);
        if (++written < s.summary.records) s.tell(kRecordFile, written, s.summary.records);
    });
    // The reader refuses any record longer than this, whatever wrote it.
    const auto longestText = static_cast<uint32_t>(s.summary.longestText);
    recordsFile.put(kLongestTextKey, encodeLongestText(longestText));
    if (codePage) recordsFile.put(kCodePageKey, *codePage);
    recordsFile.finish();
    s.tell(kRecordFile, s.summary.records, s.summary.records);

    // Postings: one data item per word, in the words' byte order.
    StoreWriter indexFile(s.folder + "/" + kIndexFile + suffix, kIndexLayout, s.limits.cacheBytes);
    std::string data;
    written = 0;
    s.postings.merge([&](uint32_t word, std::span<const Entry> postings) {
        data.clear();
        for (const Entry &entry : postings)
            appendPosting(data, entry.record, std::string_view(entry.category, 2));
        indexFile.put(s.words.name(word), data);
        if (++written < s.words.size()) s.tell(kIndexFile, written, s.words.size());
    });
    indexFile.finish();
    s.tell(kIndexFile, s.words.size(), s.words.size());
    s.summary.words = s.words.size();

    replaceStores(s.folder, indexFile.path(), recordsFile.path(), longestText);
    return s.summary;
}

StoreSummary writeStores(const std::vector<CatalogueRecord> &records, const std::string &folder) {
    StoreBuilder builder(folder, "(records)");
    std::size_t line = 0;
    for (const CatalogueRecord &record : records) builder.add(record, ++line);
    return builder.finish();
}

}  // namespace textfind::build
