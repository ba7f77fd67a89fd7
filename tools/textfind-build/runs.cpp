#include "runs.h"

#include <queue>
#include <utility>

#include "catalogue.h"

namespace textfind::build {

namespace {

void writeRecord(RunFile &file, const RecordRef &ref, std::string_view text) {
    const uint32_t header[3] = {ref.sortKey, ref.line, ref.length};
    file.write(header, sizeof header);
    file.write(text.data(), text.size());
}

}  // namespace

RecordRuns::RecordRuns(std::string prefix, std::size_t runBytes, std::string sourceName)
    : prefix_(std::move(prefix)), runBytes_(runBytes), sourceName_(std::move(sourceName)) {
    arena_.reserve(runBytes_);
}

void RecordRuns::add(int32_t record, std::size_t line, std::string_view stored) {
    if (arena_.size() + stored.size() > runBytes_ && !refs_.empty()) spill();
    const auto offset = static_cast<uint32_t>(arena_.size());
    arena_ += stored;
    refs_.push_back({sortKeyOf(record), static_cast<uint32_t>(line), offset,
                     static_cast<uint32_t>(stored.size())});
}

void RecordRuns::spill() {
    std::sort(refs_.begin(), refs_.end(),
              [](const RecordRef &a, const RecordRef &b) { return a.sortKey < b.sortKey; });
    auto file = std::make_unique<RunFile>(prefix_ + std::to_string(files_++));
    for (const RecordRef &ref : refs_)
        writeRecord(*file, ref, std::string_view(arena_).substr(ref.offset, ref.length));
    file->seek(0);
    runs_.push_back({std::move(file), refs_.size(), 0});
    refs_.clear();
    arena_.clear();
    while (levelIsFull(runs_)) {
        const std::size_t first = runs_.size() - kFanIn;
        std::vector<RecordCursor> cursors(kFanIn);
        std::size_t count = 0;
        for (std::size_t r = 0; r < kFanIn; ++r) {
            cursors[r].file = runs_[first + r].file.get();
            count += cursors[r].size = runs_[first + r].count;
        }
        auto merged = std::make_unique<RunFile>(prefix_ + std::to_string(files_++));
        mergeRuns(cursors, [&](const RecordRef &ref, std::string_view text) {
            writeRecord(*merged, ref, text);
        });
        merged->seek(0);
        const int level = runs_.back().level + 1;
        runs_.resize(first);
        runs_.push_back({std::move(merged), count, level});
    }
}

// A key met twice is a repeated record number.
void RecordRuns::mergeRuns(std::vector<RecordCursor> &cursors,
                           const std::function<void(const RecordRef &, std::string_view)> &sink) {
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
        if (previous && ref.sortKey == previousKey)
            failLine(sourceName_, std::max(ref.line, previousLine),
                     "duplicate record number " +
                         std::to_string(recordOfKey(std::string_view(
                             reinterpret_cast<const char *>(keyOfSortKey(ref.sortKey).data()),
                             kRecordKeySize))) +
                         " (first on line " + std::to_string(std::min(ref.line, previousLine)) +
                         ")");
        sink(ref, cursors[c].text);
        previous = true;
        previousKey = ref.sortKey;
        previousLine = ref.line;
        if (cursors[c].advance()) heap.push(c);
    }
}

void RecordRuns::merge(const std::function<void(const RecordKey &, std::string_view)> &sink) {
    std::sort(refs_.begin(), refs_.end(),
              [](const RecordRef &a, const RecordRef &b) { return a.sortKey < b.sortKey; });
    std::vector<RecordCursor> cursors(runs_.size() + 1);
    for (std::size_t r = 0; r < runs_.size(); ++r) {
        cursors[r].file = runs_[r].file.get();
        cursors[r].size = runs_[r].count;
    }
    cursors.back().refs = &refs_;
    cursors.back().arena = &arena_;
    cursors.back().size = refs_.size();
    mergeRuns(cursors, [&](const RecordRef &ref, std::string_view text) {
        sink(keyOfSortKey(ref.sortKey), text);
    });
    cursors.clear();
    arena_ = std::string();
    refs_ = std::vector<RecordRef>();
    runs_.clear();
}

PostingRuns::PostingRuns(std::string prefix, std::size_t runEntries, const WordTable &words)
    : prefix_(std::move(prefix)), runEntries_(runEntries), words_(words) {
    entries_.reserve(runEntries_);
}

void PostingRuns::add(uint32_t word, int32_t record, const char category[2]) {
    if (entries_.size() == runEntries_) close(true);
    entries_.push_back({word, record, {category[0], category[1]}});
}

void PostingRuns::mergeRuns(std::span<PostingRun> runs,
                            const std::function<void(uint32_t, std::span<const Entry>)> &sink) {
    auto wordOf = [](const PostingRun *run) { return run->groups[run->next].word; };
    auto later = [&](const PostingRun *a, const PostingRun *b) {
        return words_.less(wordOf(b), wordOf(a));
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
        merged_.clear();
        for (PostingRun *run : holding) {
            const Group &group = run->groups[run->next++];
            const std::size_t before = merged_.size();
            if (run->file) {
                merged_.resize(before + group.count);
                run->file->read(merged_.data() + before, group.count * sizeof(Entry));
            } else {
                const auto first = run->entries.begin() + static_cast<std::ptrdiff_t>(group.offset);
                merged_.insert(merged_.end(), first, first + group.count);
            }
            if (before > 0 && !recordLess(merged_[before - 1], merged_[before]))
                std::inplace_merge(merged_.begin(),
                                   merged_.begin() + static_cast<std::ptrdiff_t>(before),
                                   merged_.end(), recordLess);
            if (run->next < run->groups.size()) heap.push(run);
        }
        sink(word, std::span<const Entry>(merged_));
    }
}

// Orders the gathered postings by word, in the words' byte order, then by
// record, and indexes them by word; to a file unless they are the last
// run. Every run is then read once, front to back, in the final merge. A
// counting sort by word keeps each word's postings in catalogue order,
// which is already ascending for a catalogue in record order.
void PostingRuns::close(bool toFile) {
    counts_.resize(words_.size());
    std::vector<uint32_t> present;
    for (const Entry &entry : entries_)
        if (counts_[entry.word]++ == 0) present.push_back(entry.word);
    present = words_.inByteOrder(std::move(present));
    uint32_t at = 0;
    for (uint32_t word : present) at += std::exchange(counts_[word], at);
    sorted_.resize(entries_.size());
    for (const Entry &entry : entries_) sorted_[counts_[entry.word]++] = entry;
    entries_.swap(sorted_);

    PostingRun run;
    run.groups.reserve(present.size());
    uint32_t start = 0;
    for (uint32_t word : present) {
        const uint32_t end = std::exchange(counts_[word], 0);
        const auto first = entries_.begin() + start, last = entries_.begin() + end;
        if (!std::is_sorted(first, last, recordLess)) std::sort(first, last, recordLess);
        run.groups.push_back({word, start, end - start});
        start = end;
    }
    if (toFile) {
        run.file = std::make_unique<RunFile>(prefix_ + std::to_string(files_++));
        run.file->write(entries_.data(), entries_.size() * sizeof(Entry));
        run.file->seek(0);
        entries_.clear();
    } else {
        run.entries.swap(entries_);
    }
    runs_.push_back(std::move(run));
    while (toFile && levelIsFull(runs_)) {
        const auto first = runs_.end() - kFanIn;
        PostingRun combined;
        combined.level = runs_.back().level + 1;
        combined.file = std::make_unique<RunFile>(prefix_ + std::to_string(files_++));
        mergeRuns(std::span<PostingRun>(first, runs_.end()),
                  [&](uint32_t word, std::span<const Entry> postings) {
                      combined.file->write(postings.data(), postings.size_bytes());
                      combined.groups.push_back({word, 0, static_cast<uint32_t>(postings.size())});
                  });
        combined.file->seek(0);
        runs_.erase(first, runs_.end());
        runs_.push_back(std::move(combined));
    }
}

void PostingRuns::merge(const std::function<void(uint32_t, std::span<const Entry>)> &sink) {
    close(false);
    mergeRuns(runs_, sink);
    runs_.clear();
}

}  // namespace textfind::build
