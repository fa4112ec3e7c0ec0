#pragma once
// Mutated copies of sample texts for the tests that feed outside input to a parser: characters
// replaced, cut, inserted (any byte) and pieces duplicated, 1 to 4 edits each.
#include <random>
#include <string>
#include <vector>

inline std::string MutatedText(const std::vector<std::string>& seeds, std::mt19937& rng) {
    static const std::string alphabet = "{}[]\",:\\u0123456789abcdefeE+-.ntrl \t\n\xE4\xB8\xAD\xFF\x80";
    const auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    std::string text = seeds[pick(seeds.size())];
    const size_t edits = 1 + pick(4);
    for (size_t e = 0; e < edits && !text.empty(); ++e) {
        const size_t at = pick(text.size());
        switch (pick(4)) {
        case 0:
            text[at] = alphabet[pick(alphabet.size())];
            break;
        case 1:
            text.erase(at, 1 + pick(8));
            break;
        case 2:
            text.insert(at, 1, static_cast<char>(rng()));
            break;
        default:
            text.insert(at, text.substr(pick(text.size()), pick(16)));
        }
    }
    return text;
}
