#include "stores.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <queue>
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
    std::string folder;
    std::string sourceName;
    BuildLimits limits;
    std::string prefix;  // of this build's temporary files
    int runFiles = 0;
    StoreSummary summary;

    // Records.
    std::string arena;
    std::vector<RecordRef> refs;
    std::vector<RecordRun> recordRuns;

    // Words and postings.
    WordTable words;
    std::vector<Entry> entries;
    std::vector<Entry> sorted;  // closePostingRun's other buffer
    std::vector<PostingRun> postingRuns;
    std::vector<Entry> merged;     // one word's postings from every run
    std::vector<uint32_t> counts;  // closePostingRun's scratch, all zero between runs
    std::vector<uint32_t> wordsOfRecord;
    std::string normal;

    std::string temporary(const char *what) { return prefix + what + std::to_string(runFiles++); }

    void spillRecords() {
        std::sort(refs.begin(), refs.end(),
                  [](const RecordRef &a, const RecordRef &b) { return a.sortKey < b.sortKey; });
        auto file = std::make_unique<RunFile>(temporary("records"));
        for (const RecordRef &ref : refs)
            writeRecord(*file, ref, std::string_view(arena).substr(ref.offset, ref.length));
        file->seek(0);
        recordRuns.push_back({std::move(file), refs.size(), 0});
        refs.clear();
        arena.clear();
        while (levelIsFull(recordRuns)) {
            const std::size_t first = recordRuns.size() - kFanIn;
            std::vector<RecordCursor> cursors(kFanIn);
            std::size_t count = 0;
            for (std::size_t r = 0; r < kFanIn; ++r) {
                cursors[r].file = recordRuns[first + r].file.get();
                count += cursors[r].size = recordRuns[first + r].count;
            }
            auto merged = std::make_unique<RunFile>(temporary("records"));
            mergeRecords(cursors, [&](const RecordRef &ref, std::string_view text) {
                writeRecord(*merged, ref, text);
            });
            merged->seek(0);
            const int level = recordRuns.back().level + 1;
            recordRuns.resize(first);
            recordRuns.push_back({std::move(merged), count, level});
        }
    }

    static void writeRecord(RunFile &file, const RecordRef &ref, std::string_view text) {
        const uint32_t header[3] = {ref.sortKey, ref.line, ref.length};
        file.write(header, sizeof header);
        file.write(text.data(), text.size());
    }

    // Calls sink(ref, text) for every record of the runs in key order; a key
    // met twice is a repeated record number.
    template <typename Sink>
    void mergeRecords(std::vector<RecordCursor> &cursors, Sink &&sink) {
        auto later = [&](std::size_t a, std::size_t b) {
            return cursors[a].current.sortKey > cursors[b].current.sortKey;
        };
        std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> heap(later);
        for (std::size_t c = 0; c < cursors.size(); ++c)
            if (cursors[c].advance()) heap.push(c);
        bool previous = false;
        uint32_t previousKey = 0, previousLine = 0;
        while (!heap.empty()) {
            const std::size_t c = heap.top();
            heap.pop();
            const RecordRef &ref = cursors[c].current;
            if (previous && ref.sortKey == previousKey) {
                const uint32_t k = ref.sortKey;
                const int32_t number = static_cast<int32_t>(k >> 24 | (k >> 8 & 0xFF00) |
                                                            (k << 8 & 0xFF0000) | k << 24);
                failLine(sourceName, std::max(ref.line, previousLine),
                         "duplicate record number " + std::to_string(number) + " (first on line " +
                             std::to_string(std::min(ref.line, previousLine)) + ")");
            }
            sink(ref, cursors[c].text);
            previous = true;
            previousKey = ref.sortKey;
            previousLine = ref.line;
            if (cursors[c].advance()) heap.push(c);
        }
    }

    // Calls sink(word, postings) for every word of the runs in byte order,
    // with its postings from every run in ascending record order.
    template <typename Sink>
    void mergePostings(std::span<PostingRun> runs, Sink &&sink) {
        auto wordOf = [](const PostingRun *run) { return run->groups[run->next].word; };
        auto later = [&](const PostingRun *a, const PostingRun *b) {
            return words.less(wordOf(b), wordOf(a));
        };
        std::priority_queue<PostingRun *, std::vector<PostingRun *>, decltype(later)> heap(later);
        for (PostingRun &run : runs)
            if (run.next < run.groups.size()) heap.push(&run);
        std::vector<PostingRun *> holding;
        while (!heap.empty()) {
            const uint32_t word = wordOf(heap.top());
            holding.clear();
            while (!heap.empty() && wordOf(heap.top()) == word) {
                holding.push_back(heap.top());
                heap.pop();
            }
            // Earlier runs first: for a catalogue in record order they then
            // simply follow each other.
            std::sort(holding.begin(), holding.end());
            merged.clear();
            for (PostingRun *run : holding) {
                const Group &group = run->groups[run->next++];
                const std::size_t before = merged.size();
                if (run->file) {
                    merged.resize(before + group.count);
                    run->file->read(merged.data() + before, group.count * sizeof(Entry));
                } else {
                    const auto first =
                        run->entries.begin() + static_cast<std::ptrdiff_t>(group.offset);
                    merged.insert(merged.end(), first, first + group.count);
                }
                if (before > 0 && !recordLess(merged[before - 1], merged[before]))
                    std::inplace_merge(merged.begin(),
                                       merged.begin() + static_cast<std::ptrdiff_t>(before),
                                       merged.end(), recordLess);
                if (run->next < run->groups.size()) heap.push(run);
            }
            sink(word, std::span<const Entry>(merged));
        }
    }

    // Orders the gathered postings by word, in the words' byte order, then by
    // record, and indexes them by word; to a file unless they are the last
    // run. Every run is then read once, front to back, in the final merge.
    // A counting sort by word keeps each word's postings in catalogue order,
    // which is already ascending for a catalogue in record order.
    void closePostingRun(bool toFile) {
        counts.resize(words.size());
        std::vector<uint32_t> present;
        for (const Entry &entry : entries)
            if (counts[entry.word]++ == 0) present.push_back(entry.word);
        present = words.inByteOrder(std::move(present));
        uint32_t at = 0;
        for (uint32_t word : present) at += std::exchange(counts[word], at);
        sorted.resize(entries.size());
        for (const Entry &entry : entries) sorted[counts[entry.word]++] = entry;
        entries.swap(sorted);

        PostingRun run;
        run.groups.reserve(present.size());
        uint32_t start = 0;
        for (uint32_t word : present) {
            const uint32_t end = std::exchange(counts[word], 0);
            const auto first = entries.begin() + start, last = entries.begin() + end;
            if (!std::is_sorted(first, last, recordLess)) std::sort(first, last, recordLess);
            run.groups.push_back({word, start, end - start});
            start = end;
        }
        if (toFile) {
            run.file = std::make_unique<RunFile>(temporary("postings"));
            run.file->write(entries.data(), entries.size() * sizeof(Entry));
            run.file->seek(0);
            entries.clear();
        } else {
            run.entries.swap(entries);
        }
        postingRuns.push_back(std::move(run));
        while (toFile && levelIsFull(postingRuns)) {
            const auto first = postingRuns.end() - kFanIn;
            PostingRun combined;
            combined.level = postingRuns.back().level + 1;
            combined.file = std::make_unique<RunFile>(temporary("postings"));
            mergePostings(
                std::span<PostingRun>(first, postingRuns.end()),
                [&](uint32_t word, std::span<const Entry> postings) {
                    combined.file->write(postings.data(), postings.size_bytes());
                    combined.groups.push_back({word, 0, static_cast<uint32_t>(postings.size())});
                });
            combined.file->seek(0);
            postingRuns.erase(first, postingRuns.end());
            postingRuns.push_back(std::move(combined));
        }
    }
};

StoreBuilder::StoreBuilder(std::string folder, std::string sourceName, BuildLimits limits)
    : state_(std::make_unique<State>()) {
    state_->folder = folder.empty() ? std::string(".") : folder;
    state_->sourceName = std::move(sourceName);
    state_->limits = limits;
    state_->prefix = state_->folder + "/.textfind-build." +
                     std::to_string(std::random_device{}() % 1000000) + ".";
    state_->arena.reserve(state_->limits.recordRunBytes);
    state_->entries.reserve(state_->limits.postingRunEntries);
}

StoreBuilder::~StoreBuilder() = default;

std::size_t StoreBuilder::records() const { return state_->summary.records; }
std::size_t StoreBuilder::words() const { return state_->words.size(); }

void StoreBuilder::add(const CatalogueRecord &record, std::size_t line) {
    State &s = *state_;
    ++s.summary.records;
    s.summary.longestText = std::max(s.summary.longestText, record.text.size());

    if (s.arena.size() + record.text.size() > s.limits.recordRunBytes && !s.refs.empty())
        s.spillRecords();
    const auto offset = static_cast<uint32_t>(s.arena.size());
    s.arena += record.text;
    scrambleInPlace(std::span<char>(s.arena.data() + offset, record.text.size()));
    s.refs.push_back({sortKeyOf(record.number), static_cast<uint32_t>(line), offset,
                      static_cast<uint32_t>(record.text.size())});

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
    for (uint32_t word : s.wordsOfRecord) {
        if (s.entries.size() == s.limits.postingRunEntries) s.closePostingRun(true);
        s.entries.push_back({word, record.number, {code[0], code[1]}});
    }
}

StoreSummary StoreBuilder::finish() {
    State &s = *state_;
    const std::string suffix = ".tmp." + std::to_string(std::random_device{}() % 1000000);
    StoreWriter recordsFile(s.folder + "/" + kRecordFile + suffix, kRecordStoreLayout,
                            s.limits.cacheBytes);

    // Records: every run merged in key order.
    std::sort(s.refs.begin(), s.refs.end(),
              [](const RecordRef &a, const RecordRef &b) { return a.sortKey < b.sortKey; });
    std::vector<RecordCursor> cursors(s.recordRuns.size() + 1);
    for (std::size_t r = 0; r < s.recordRuns.size(); ++r) {
        cursors[r].file = s.recordRuns[r].file.get();
        cursors[r].size = s.recordRuns[r].count;
    }
    cursors.back().refs = &s.refs;
    cursors.back().arena = &s.arena;
    cursors.back().size = s.refs.size();
    s.mergeRecords(cursors, [&](const RecordRef &ref, std::string_view text) {
        const char key[4] = {static_cast<char>(ref.sortKey >> 24),
                             static_cast<char>(ref.sortKey >> 16),
                             static_cast<char>(ref.sortKey >> 8), static_cast<char>(ref.sortKey)};
        recordsFile.put(std::string_view(key, 4), text);
    });
    // The reader refuses any record longer than this, whatever wrote it.
    const auto longestText = static_cast<uint32_t>(s.summary.longestText);
    unsigned char longest[kLongestTextSize];
    writeU32(longestText, longest);
    recordsFile.put(kLongestTextKey,
                    std::string_view(reinterpret_cast<const char *>(longest), sizeof longest));
    recordsFile.finish();
    cursors.clear();
    s.arena = std::string();
    s.refs = std::vector<RecordRef>();
    s.recordRuns.clear();

    // Postings: one data item per word, in the words' byte order.
    s.closePostingRun(false);
    StoreWriter indexFile(s.folder + "/" + kIndexFile + suffix, kIndexLayout, s.limits.cacheBytes);
    std::string data;
    s.mergePostings(s.postingRuns, [&](uint32_t word, std::span<const Entry> postings) {
        data.clear();
        for (const Entry &entry : postings)
            appendPosting(data, entry.record, std::string_view(entry.category, 2));
        indexFile.put(s.words.name(word), data);
    });
    indexFile.finish();
    s.summary.words = s.words.size();
    s.postingRuns.clear();

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
