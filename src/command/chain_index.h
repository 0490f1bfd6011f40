// The dispatch index of the command chain, computed by the compiler from the rows' leads: for
// every first byte of a line, and for the second bytes that some lead names, the list of rows
// worth trying, in chain order. It lives in read-only memory and costs nothing at start-up.
// Private to the command module (chain.cpp builds it, parse_command uses it through
// candidate_rows).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "command/chain.h"

namespace chain_index {

constexpr char kLeadSeparator = '|';

// A list of candidate rows inside the index's row store.
struct Span {
    uint16_t first;
    uint8_t count;
};

// The rows for lines whose second byte is `second` (first byte given by the owning entry).
struct Second {
    uint8_t second;
    Span span;
};

// Per first byte: the rows for a second byte that no lead names (the rows with one-character
// leads), and the sorted second bytes that do have lists of their own.
struct First {
    Span any;
    uint16_t seconds;
    uint8_t nseconds;
};

// One lead item of a row: one or two characters.
struct Item {
    int length;
    uint8_t first;
    uint8_t second;
};

// The k-th '|'-separated item of lead; length 0 when there is none.
constexpr Item lead_item(const char* lead, int k) {
    const char* p = lead;
    for (int i = 0; i < k; ++i) {
        while (*p && *p != kLeadSeparator) ++p;
        if (!*p) return {0, 0, 0};
        ++p;
    }
    int n = 0;
    while (p[n] && p[n] != kLeadSeparator) ++n;
    return {n, uint8_t(p[0]), n > 1 ? uint8_t(p[1]) : uint8_t(0)};
}

// Every item one or two characters long, no empty item, no NUL start (a NUL line is empty).
constexpr bool lead_well_formed(const char* lead) {
    if (!lead) return false;
    int n = 0;
    for (const char* p = lead;; ++p) {
        if (*p == kLeadSeparator || *p == '\0') {
            if (n < 1 || n > 2) return false;
            if (!*p) return true;
            n = 0;
        } else {
            ++n;
        }
    }
}

constexpr int kMaxItems = 8;

// A row's lead taken apart once, so that the index is cheap for the compiler to build.
struct Lead {
    int count = 0;
    Item items[kMaxItems] = {};

    // Can a line starting with the bytes first, second be a match of the row?
    constexpr bool accepts(uint8_t first, uint8_t second) const {
        for (int k = 0; k < count; ++k) {
            if (items[k].first == first && (items[k].length == 1 || items[k].second == second)) {
                return true;
            }
        }
        return false;
    }
    // Does the row accept its first byte followed by anything?
    constexpr bool accepts_any(uint8_t first) const {
        for (int k = 0; k < count; ++k) {
            if (items[k].length == 1 && items[k].first == first) return true;
        }
        return false;
    }
};

template <size_t N>
constexpr std::array<Lead, N> parse_leads(const Row (&chain)[N]) {
    std::array<Lead, N> leads{};
    for (size_t r = 0; r < N; ++r) {
        for (int k = 0; k < kMaxItems; ++k) {
            const Item it = lead_item(chain[r].lead, k);
            if (!it.length) break;
            leads[r].items[leads[r].count++] = it;
        }
    }
    return leads;
}

// The second bytes that some two-character lead names after `first`.
template <size_t N>
constexpr std::array<bool, 256> named_seconds(const std::array<Lead, N>& leads, uint8_t first) {
    std::array<bool, 256> named{};
    for (const Lead& lead : leads) {
        for (int k = 0; k < lead.count; ++k) {
            if (lead.items[k].length == 2 && lead.items[k].first == first) {
                named[lead.items[k].second] = true;
            }
        }
    }
    return named;
}

struct Sizes {
    size_t seconds;
    size_t rows;
};

template <size_t N>
constexpr Sizes sizes(const Row (&chain)[N]) {
    const std::array<Lead, N> leads = parse_leads(chain);
    Sizes s{0, 0};
    for (int b = 1; b < 256; ++b) {
        for (const Lead& lead : leads) {
            if (lead.accepts_any(uint8_t(b))) ++s.rows;
        }
        const std::array<bool, 256> named = named_seconds(leads, uint8_t(b));
        for (int c = 0; c < 256; ++c) {
            if (!named[size_t(c)]) continue;
            ++s.seconds;
            for (const Lead& lead : leads) {
                if (lead.accepts(uint8_t(b), uint8_t(c))) ++s.rows;
            }
        }
    }
    return s;
}

template <size_t NSeconds, size_t NRows>
struct Index {
    std::array<First, 256> first{};
    std::array<Second, NSeconds> seconds{};
    std::array<uint8_t, NRows> rows{};
    // The longest list of candidates: what one dispatch may have to try at most.
    size_t longest = 0;

    RowSpan lookup(const char* line) const {
        const First& f = first[uint8_t(line[0])];
        if (f.nseconds) {
            // Only reached for a non-NUL first byte, so line[1] exists.
            const uint8_t c = uint8_t(line[1]);
            size_t lo = f.seconds, hi = size_t(f.seconds) + f.nseconds;
            while (lo < hi) {
                const size_t mid = (lo + hi) / 2;
                if (seconds[mid].second < c)
                    lo = mid + 1;
                else
                    hi = mid;
            }
            if (lo < size_t(f.seconds) + f.nseconds && seconds[lo].second == c) {
                return {rows.data() + seconds[lo].span.first, seconds[lo].span.count};
            }
        }
        return {rows.data() + f.any.first, f.any.count};
    }
};

template <size_t NSeconds, size_t NRows, size_t N>
constexpr Index<NSeconds, NRows> build(const Row (&chain)[N]) {
    const std::array<Lead, N> leads = parse_leads(chain);
    Index<NSeconds, NRows> index;
    size_t nrows = 0, nseconds = 0;
    auto note = [&](size_t count) {
        if (count > index.longest) index.longest = count;
    };
    for (int b = 1; b < 256; ++b) {
        First& f = index.first[size_t(b)];
        f.any.first = uint16_t(nrows);
        for (size_t r = 0; r < N; ++r) {
            if (leads[r].accepts_any(uint8_t(b))) index.rows[nrows++] = uint8_t(r);
        }
        f.any.count = uint8_t(nrows - f.any.first);
        note(f.any.count);
        f.seconds = uint16_t(nseconds);
        const std::array<bool, 256> named = named_seconds(leads, uint8_t(b));
        for (int c = 0; c < 256; ++c) {
            if (!named[size_t(c)]) continue;
            Second& s = index.seconds[nseconds++];
            s.second = uint8_t(c);
            s.span.first = uint16_t(nrows);
            for (size_t r = 0; r < N; ++r) {
                if (leads[r].accepts(uint8_t(b), uint8_t(c))) index.rows[nrows++] = uint8_t(r);
            }
            s.span.count = uint8_t(nrows - s.span.first);
            note(s.span.count);
        }
        f.nseconds = uint8_t(nseconds - f.seconds);
    }
    return index;
}

template <size_t N>
constexpr bool all_leads_well_formed(const Row (&chain)[N]) {
    for (const Row& row : chain) {
        if (!lead_well_formed(row.lead)) return false;
        int items = 0;
        while (lead_item(row.lead, items).length) ++items;
        if (items > kMaxItems) return false;
    }
    return true;
}

}  // namespace chain_index
