#pragma once
// Mutated copies of sample inputs for the tests that feed outside input to a parser.
// Texts: characters replaced, cut, inserted (any byte) and pieces duplicated, 1 to 4 edits each.
#include <algorithm>
#include <cstdint>
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

// Files: 1 to 4 edits each of a byte replaced, a bit flipped, up to 16 bytes cut, or the file
// truncated; a file cut to nothing gets `first` back, so decoders still see something.
inline void MutateBytes(std::vector<uint8_t>& file, std::mt19937& rng, uint8_t first) {
    const int edits = 1 + static_cast<int>(rng() % 4);
    for (int e = 0; e < edits; ++e) {
        const size_t at = rng() % file.size();
        switch (rng() % 4) {
        case 0:
            file[at] = static_cast<uint8_t>(rng());
            break;
        case 1:
            file[at] ^= static_cast<uint8_t>(1u << (rng() % 8));
            break;
        case 2:
            file.erase(file.begin() + static_cast<long>(at),
                       file.begin() + static_cast<long>(std::min<size_t>(file.size(), at + 1 + rng() % 16)));
            break;
        default:
            file.resize(at);
            break;
        }
        if (file.empty()) file.push_back(first);
    }
}
