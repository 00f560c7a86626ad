#pragma once
// Deterministic row payloads for the benchmarks: realistic shapes and hostile ones.
#include <cstdint>
#include <iterator>
#include <string>

namespace vantor::bench {

// A small deterministic generator, so every run measures the same bytes.
class Random {
  public:
    explicit Random(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        state_ += 0x9e3779b97f4a7c15ULL;
        std::uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    std::uint64_t below(std::uint64_t bound) { return next() % bound; }

  private:
    std::uint64_t state_;
};

inline const char* const words[] = {"alpha",   "bravo", "charlie", "delta", "echo",
                                    "foxtrot", "golf",  "hotel",   "india", "juliett"};
inline const char* const non_ascii_words[] = {"Zoë",   "naïve",  "Straße", "東京",     "données",
                                              "🙂 ok", "Ελλάδα", "café",   "ångström", "привет"};

inline std::string key(const char* prefix, std::uint64_t n) {
    return prefix + std::to_string(n);
}

inline void append_text(std::string& out, Random& random, bool non_ascii, int words_count) {
    out += '"';
    for (int w = 0; w < words_count; ++w) {
        if (w) out += ' ';
        out += non_ascii ? non_ascii_words[random.below(10)] : words[random.below(10)];
    }
    out += '"';
}

// Tool-call style rows of 20 mixed members, two of them constant and one null everywhere.
inline std::string tool_call_rows(std::size_t target_bytes) {
    Random random(1);
    std::string out = "[";
    for (std::uint64_t row = 0; out.size() < target_bytes; ++row) {
        if (row) out += ',';
        out += "{\"id\":" + std::to_string(1000000 + row);
        out += ",\"tool\":\"search_files\",\"status\":\"ok\"";
        out += ",\"path\":\"/src/module_" + std::to_string(random.below(500)) + ".py\"";
        out += ",\"line\":" + std::to_string(random.below(5000));
        out += ",\"score\":" + std::to_string(random.below(100000) / 1000.0).substr(0, 6);
        out += ",\"matched\":";
        out += random.below(2) ? "true" : "false";
        out += ",\"error\":null,\"summary\":";
        append_text(out, random, false, 6);
        out += ",\"tags\":[\"" + std::string(words[random.below(10)]) + "\",\"" +
               words[random.below(10)] + "\"]";
        out += ",\"size\":" + std::to_string(random.below(1u << 20));
        out += ",\"owner\":";
        append_text(out, random, false, 1);
        out += ",\"mtime\":" + std::to_string(1700000000 + random.below(10000000));
        out += ",\"ratio\":" + std::to_string(random.below(1000) / 7.0);
        out += ",\"depth\":" + std::to_string(random.below(8));
        out += ",\"kind\":\"file\",\"lang\":\"python\"";
        out += ",\"meta\":{\"enc\":\"utf-8\",\"lines\":" + std::to_string(random.below(900)) + "}";
        out += ",\"delta\":-" + std::to_string(random.below(1000));
        out += ",\"note\":";
        if (random.below(4) == 0) {
            append_text(out, random, false, 3);
        } else {
            out += "null";
        }
        out += '}';
    }
    return out + "]";
}

// Rows of 20 numbers: integers of both signs and floats of various magnitudes.
inline std::string number_rows(std::size_t target_bytes) {
    Random random(2);
    std::string out = "[";
    for (std::uint64_t row = 0; out.size() < target_bytes; ++row) {
        out += row ? ",{" : "{";
        for (int m = 0; m < 20; ++m) {
            if (m) out += ',';
            out += "\"n" + std::to_string(m) + "\":";
            switch (m % 4) {
                case 0:
                    out += std::to_string(random.next() >> (random.below(60)));
                    break;
                case 1:
                    out += "-" + std::to_string(1 + random.below(1000000));
                    break;
                case 2:
                    out += std::to_string(random.below(1000000)) + "." +
                           std::to_string(random.below(1000));
                    break;
                default:
                    out += std::to_string(1 + random.below(9)) + "." +
                           std::to_string(random.below(100000)) + "e" +
                           std::to_string(static_cast<int>(random.below(40)) - 20);
                    break;
            }
        }
        out += '}';
    }
    return out + "]";
}

// Rows of string members holding non-ASCII text, with an occasional escape.
inline std::string string_rows(std::size_t target_bytes) {
    Random random(3);
    std::string out = "[";
    for (std::uint64_t row = 0; out.size() < target_bytes; ++row) {
        out += row ? ",{" : "{";
        for (int m = 0; m < 8; ++m) {
            if (m) out += ',';
            out += "\"s" + std::to_string(m) + "\":";
            append_text(out, random, m % 2 == 0, 4 + static_cast<int>(random.below(6)));
            if (m == 7) {
                out.pop_back();
                out += "\\n\\\"quoted\\\"\\u00e9\"";
            }
        }
        out += '}';
    }
    return out + "]";
}

// Sparse rows: 200 distinct keys, 10 per row.
inline std::string sparse_rows(std::size_t target_bytes) {
    Random random(4);
    std::string out = "[";
    for (std::uint64_t row = 0; out.size() < target_bytes; ++row) {
        out += row ? ",{" : "{";
        std::uint64_t base = random.below(200);
        for (int m = 0; m < 10; ++m) {
            if (m) out += ',';
            out += "\"field_" + std::to_string((base + 20 * m) % 200) +
                   "\":" + std::to_string(random.below(100000));
        }
        out += '}';
    }
    return out + "]";
}

// Airport-list rows: six short strings each (code, ICAO code, name, city, country, time zone).
struct AirportPlace {
    const char* city;
    const char* country;
    const char* icao_region;  // the first two letters of its airports' ICAO codes
    const char* time_zone;
};
inline const AirportPlace airport_places[] = {
    {"Lisbon", "Portugal", "LP", "Europe/Lisbon"},
    {"Oslo", "Norway", "EN", "Europe/Oslo"},
    {"Denver", "United States", "KD", "America/Denver"},
    {"Osaka", "Japan", "RJ", "Asia/Tokyo"},
    {"Nairobi", "Kenya", "HK", "Africa/Nairobi"},
    {"Lima", "Peru", "SP", "America/Lima"},
    {"Perth", "Australia", "YP", "Australia/Perth"},
    {"Quito", "Ecuador", "SE", "America/Guayaquil"},
    {"Dakar", "Senegal", "GO", "Africa/Dakar"},
    {"Tampa", "United States", "KT", "America/New_York"},
    {"Leeds", "United Kingdom", "EG", "Europe/London"},
    {"Porto", "Portugal", "LP", "Europe/Lisbon"},
    {"Cairo", "Egypt", "HE", "Africa/Cairo"},
    {"Hanoi", "Vietnam", "VV", "Asia/Bangkok"},
    {"São Paulo", "Brazil", "SB", "America/Sao_Paulo"},
    {"Zürich", "Switzerland", "LS", "Europe/Zurich"},
    {"Málaga", "Spain", "LE", "Europe/Madrid"},
    {"Reykjavík", "Iceland", "BI", "Atlantic/Reykjavik"},
    {"Winnipeg", "Canada", "CY", "America/Winnipeg"},
    {"Chennai", "India", "VO", "Asia/Kolkata"},
    {"Kraków", "Poland", "EP", "Europe/Warsaw"},
    {"Auckland", "New Zealand", "NZ", "Pacific/Auckland"},
    {"Santiago", "Chile", "SC", "America/Santiago"},
    {"Tunis", "Tunisia", "DT", "Africa/Tunis"},
};
inline const char* const airport_kinds[] = {"International Airport", "Airport", "Regional Airport",
                                            "Municipal Airport"};

inline std::string airport_rows(std::size_t target_bytes) {
    Random random(8);
    std::string out = "[";
    for (std::uint64_t row = 0; out.size() < target_bytes; ++row) {
        if (row) out += ',';
        // One draw per statement: bench.py draws in this order.
        const AirportPlace& place = airport_places[random.below(std::size(airport_places))];
        std::string code;
        for (int letter = 0; letter < 3; ++letter)
            code += static_cast<char>('A' + random.below(26));
        std::string icao = place.icao_region;
        for (int letter = 0; letter < 2; ++letter)
            icao += static_cast<char>('A' + random.below(26));
        const char* kind = airport_kinds[random.below(std::size(airport_kinds))];
        out += "{\"code\":\"" + code + "\",\"icao\":\"" + icao + "\",\"name\":\"";
        out += std::string(place.city) + " " + kind + "\",\"city\":\"" + place.city;
        out += std::string("\",\"country\":\"") + place.country + "\",\"tz\":\"" + place.time_zone +
               "\"}";
    }
    return out + "]";
}

// Wide rows of 500 members.
inline std::string wide_rows(std::size_t target_bytes) {
    Random random(5);
    std::string out = "[";
    for (std::uint64_t row = 0; out.size() < target_bytes || row == 0; ++row) {
        out += row ? ",{" : "{";
        for (int m = 0; m < 500; ++m) {
            if (m) out += ',';
            out += "\"c" + std::to_string(m) + "\":" + std::to_string(random.below(1000));
        }
        out += '}';
    }
    return out + "]";
}

// Rows as in public country and emoji lists: flat members beside nested objects of 20 to 40
// members. "translations" holds 20 to 40 language codes in order, "variants" 24 members of mixed
// kinds, and "schema" the same 24 members in every row, listed from another starting point in two
// rows of three (a constant whose member order varies). With repeated keys, every nested object
// gives one key again (a translation, a variant, and in "schema" a member with its own value), and
// every fourth row gives its "name" again: a key given twice keeps its first position and its
// last value.
inline const char* const languages[] = {"ar", "bg", "br", "cs", "cy", "da", "de", "el", "en", "eo",
                                        "es", "et", "fa", "fi", "fr", "ga", "he", "hr", "hu", "id",
                                        "it", "ja", "ko", "lt", "lv", "nl", "no", "pl", "pt", "ro",
                                        "ru", "sk", "sl", "sr", "sv", "th", "tr", "uk", "vi", "zh"};
inline const char* const schema_types[] = {"string", "integer", "number", "boolean"};

inline std::string nested_row(Random& random, std::uint64_t row, bool repeated_keys) {
    std::string out = "{\"id\":" + std::to_string(row + 1);
    out += ",\"code\":\"C" + std::to_string(random.below(1000)) + "\"";
    out += ",\"name\":";
    append_text(out, random, false, 2);
    out += ",\"population\":" + std::to_string(random.below(100000000));
    out += ",\"area\":" + std::to_string(random.below(1000000)) + ".5";
    out += ",\"independent\":";
    out += random.below(2) ? "true" : "false";
    const std::uint64_t translations = 20 + random.below(21);
    out += ",\"translations\":{";
    for (std::uint64_t t = 0; t < translations; ++t) {
        if (t) out += ',';
        out += '"';
        out += languages[t];
        out += "\":";
        append_text(out, random, t % 3 == 0, 2);
    }
    if (repeated_keys) {
        const std::uint64_t again = random.below(translations);
        out += ",\"";
        out += languages[again];
        out += "\":";
        append_text(out, random, false, 1);
    }
    out += "},\"variants\":{";
    for (int v = 0; v < 24; ++v) {
        if (v) out += ',';
        out += "\"v" + std::to_string(v) + "\":";
        switch (v % 4) {
            case 0:
                out += std::to_string(random.below(100000));
                break;
            case 1: {
                const std::uint64_t whole = random.below(1000);
                out += std::to_string(whole) + "." + std::to_string(1 + random.below(99));
                break;
            }
            case 2:
                out += random.below(3) == 0 ? "null" : "true";
                break;
            default: {
                const std::uint64_t first = random.below(100);
                out += "[" + std::to_string(first) + "," + std::to_string(random.below(100)) + "]";
                break;
            }
        }
    }
    if (repeated_keys) out += ",\"v" + std::to_string(random.below(24)) + "\":0";
    out += "},\"schema\":{";
    const std::uint64_t start = (row % 3) * 8;
    for (std::uint64_t f = 0; f < 24; ++f) {
        const std::uint64_t field = (start + f) % 24;
        if (f) out += ',';
        out += "\"f" + std::to_string(field) + "\":\"" + schema_types[field % 4] + "\"";
    }
    if (repeated_keys) out += ",\"f5\":\"integer\"";
    out += '}';
    if (repeated_keys && row % 4 == 3) {
        out += ",\"name\":";
        append_text(out, random, false, 1);
    }
    out += '}';
    return out;
}

// Compact JSON laid out as with two-space indentation: members and elements one per line, a space
// after each colon, empty containers kept as they are. `depth` is the level the text starts at.
inline std::string indented(const std::string& compact, int depth) {
    std::string out;
    auto new_line = [&] {
        out += '\n';
        out.append(static_cast<std::size_t>(depth) * 2, ' ');
    };
    bool in_string = false;
    for (std::size_t i = 0; i < compact.size(); ++i) {
        const char c = compact[i];
        if (in_string) {
            out += c;
            if (c == '\\') {
                out += compact[++i];
            } else if (c == '"') {
                in_string = false;
            }
            continue;
        }
        switch (c) {
            case '"':
                in_string = true;
                out += c;
                break;
            case '{':
            case '[':
                out += c;
                if (compact[i + 1] == (c == '{' ? '}' : ']')) {
                    out += compact[++i];
                } else {
                    ++depth;
                    new_line();
                }
                break;
            case '}':
            case ']':
                --depth;
                new_line();
                out += c;
                break;
            case ',':
                out += c;
                new_line();
                break;
            case ':':
                out += ": ";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Nested rows, compact or with each row on indented lines of its own.
inline std::string nested_payload(std::size_t target_bytes, bool repeated_keys, bool pretty) {
    Random random(repeated_keys ? 7 : 6);
    std::string out = "[";
    for (std::uint64_t row = 0; out.size() < target_bytes; ++row) {
        if (row) out += ',';
        std::string text = nested_row(random, row, repeated_keys);
        if (pretty) {
            out += "\n  ";
            out += indented(text, 1);
        } else {
            out += text;
        }
    }
    return out + "]";
}
inline std::string nested_rows(std::size_t target_bytes) {
    return nested_payload(target_bytes, false, false);
}
inline std::string nested_repeated_rows(std::size_t target_bytes) {
    return nested_payload(target_bytes, true, false);
}
inline std::string nested_pretty_rows(std::size_t target_bytes) {
    return nested_payload(target_bytes, false, true);
}
inline std::string nested_repeated_pretty_rows(std::size_t target_bytes) {
    return nested_payload(target_bytes, true, true);
}

// Hostile: one row whose member "a" is an object of `members` members, or (inside_row false) one
// row of `members` members itself.
inline std::string one_wide_object(std::size_t members, bool inside_row) {
    std::string out = inside_row ? "[{\"a\":{" : "[{";
    for (std::size_t m = 0; m < members; ++m) {
        out += (m ? ",\"k" : "\"k") + std::to_string(m) + "\":" + std::to_string(m % 1000);
    }
    return out + (inside_row ? "}}]" : "}]");
}

// Hostile: `rows` rows each holding an object of `members` members, the same members and values
// in every row (a constant) but listed from another starting point in each row, so that neither
// the repeated-key check nor the constant test can rely on the previous row's order.
inline std::string rows_of_wide_objects(std::size_t rows, std::size_t members) {
    std::string out = "[";
    for (std::size_t r = 0; r < rows; ++r) {
        out += r ? ",{\"id\":" : "{\"id\":";
        out += std::to_string(r) + ",\"a\":{";
        for (std::size_t m = 0; m < members; ++m) {
            const std::size_t k = (m + r * 7) % members;
            out += (m ? ",\"k" : "\"k") + std::to_string(k) + "\":" + std::to_string(k % 1000);
        }
        out += "}}";
    }
    return out + "]";
}

// Hostile: every row carries one member of its own name, null, so every column is all-null and
// the output stays small while a per-column scan of the rows would be quadratic.
inline std::string unique_member_rows(std::size_t rows) {
    std::string out = "[";
    for (std::size_t r = 0; r < rows; ++r) {
        out += (r ? ",{\"k" : "{\"k") + std::to_string(r) + "\":null}";
    }
    return out + "]";
}

// Hostile: two rows with `members` members each, all null or all constant.
inline std::string two_wide_rows(std::size_t members, bool all_null) {
    std::string row = "{";
    for (std::size_t m = 0; m < members; ++m) {
        row += (m ? ",\"k" : "\"k") + std::to_string(m) + "\":" + (all_null ? "null" : "1");
    }
    row += "}";
    return "[" + row + "," + row + "]";
}

// Hostile: `columns` columns of which all but every hundredth are constant, over `rows` rows.
inline std::string mostly_constant_columns(std::size_t columns, std::size_t rows) {
    std::string out = "[";
    for (std::size_t r = 0; r < rows; ++r) {
        out += r ? ",{" : "{";
        for (std::size_t c = 0; c < columns; ++c) {
            if (c) out += ',';
            out += "\"k" + std::to_string(c) + "\":" + std::to_string(c % 100 == 0 ? r : c);
        }
        out += '}';
    }
    return out + "]";
}

}  // namespace vantor::bench
