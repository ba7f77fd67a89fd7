// The query side of a search: words split at separators, their normal form,
// and the category filter. Input: two bytes of a posting's category code,
// then the selector up to a NUL, then the query text.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "category_filter.h"
#include "check.h"
#include "models.h"
#include "words.h"

namespace {

void checkWords(std::string_view query) {
    // Every byte belongs to exactly one word or is a separator, words come
    // in order, and each is a maximal run of word bytes.
    std::size_t next = 0;
    textfind::forEachWord(query, [&](std::string_view word) {
        FUZZ_CHECK(!word.empty(), "words are never empty");
        FUZZ_CHECK(word.data() >= query.data() + next &&
                       word.data() + word.size() <= query.data() + query.size(),
                   "words lie in the query, in order");
        const std::size_t start = static_cast<std::size_t>(word.data() - query.data());
        for (std::size_t i = next; i < start; ++i)
            FUZZ_CHECK(model::separator(static_cast<unsigned char>(query[i])),
                       "only separators between words");
        for (char c : word)
            FUZZ_CHECK(!model::separator(static_cast<unsigned char>(c)),
                       "no separator inside a word");
        next = start + word.size();
        FUZZ_CHECK(
            next == query.size() || model::separator(static_cast<unsigned char>(query[next])),
            "a word runs up to a separator or the end");

        const std::string normal = textfind::wordNormalForm(word);
        FUZZ_CHECK(normal.size() == word.size(), "normal form keeps the length");
        for (std::size_t i = 0; i < word.size(); ++i) {
            const char c = word[i];
            const char want = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
            FUZZ_CHECK(normal[i] == want, "only a to z are capitalised");
        }
    });
    for (std::size_t i = next; i < query.size(); ++i)
        FUZZ_CHECK(model::separator(static_cast<unsigned char>(query[i])),
                   "only separators after the last word");
    for (unsigned b = 0; b < 256; ++b)
        FUZZ_CHECK(textfind::isSeparator(static_cast<unsigned char>(b)) ==
                       model::separator(static_cast<unsigned char>(b)),
                   "separator set");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2) return 0;
    const char stored[2] = {static_cast<char>(data[0]), static_cast<char>(data[1])};
    const std::string_view rest(reinterpret_cast<const char *>(data) + 2, size - 2);
    const std::size_t nul = rest.find('\0');
    // Both arrive as C strings, hence split at the NUL; the query part may
    // still hold NULs, which the splitter must take as word bytes.
    const std::string_view selector = rest.substr(0, nul);
    const std::string_view query =
        nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);

    const std::string_view code = textfind::postingCategoryCode(stored);
    const std::size_t codeLength = stored[0] == 0 ? 0 : stored[1] == 0 ? 1 : 2;
    FUZZ_CHECK(code.data() == stored && code.size() == codeLength, "code ends at the first NUL");
    FUZZ_CHECK(
        textfind::categoryAccepts(selector, code) == model::accepts(selector, std::string(code)),
        "category filter matches the model");
    // The query part doubles as a selector with NULs inside.
    FUZZ_CHECK(textfind::categoryAccepts(query, code) == model::accepts(query, std::string(code)),
               "category filter on any bytes");

    checkWords(query);
    checkWords(selector);
    return 0;
}
