#pragma once
// Reads the statement corpus (one JSON object per line) far enough for the schema tests: the
// entry's id, its example, whether it is a fragment, and the tables it reads and writes.
#include <cstdint>
#include <fstream>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qvtest {

struct CorpusEntry {
    std::string id;
    std::string example;
    bool isFragment = false;
    std::vector<std::string> tables;  // reads and writes
};

namespace corpus_detail {

struct Json {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool b = false;
    std::string s;
    std::vector<Json> a;
    std::map<std::string, Json> o;
};

class Parser {
public:
    explicit Parser(const std::string& t) : t_(t) {}
    Json Parse() {
        Json j = Value();
        Space();
        if (i_ != t_.size()) throw std::runtime_error("trailing text");
        return j;
    }

private:
    void Space() {
        while (i_ < t_.size() && (t_[i_] == ' ' || t_[i_] == '\t' || t_[i_] == '\r' || t_[i_] == '\n')) ++i_;
    }
    char Peek() {
        Space();
        if (i_ >= t_.size()) throw std::runtime_error("unexpected end");
        return t_[i_];
    }
    void Expect(char c) {
        if (Peek() != c) throw std::runtime_error(std::string("expected ") + c);
        ++i_;
    }
    static void Utf8(std::string& out, std::uint32_t cp) {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    std::uint32_t Hex4() {
        if (i_ + 4 > t_.size()) throw std::runtime_error("bad escape");
        std::uint32_t v = std::stoul(t_.substr(i_, 4), nullptr, 16);
        i_ += 4;
        return v;
    }
    std::string Str() {
        Expect('"');
        std::string out;
        while (i_ < t_.size() && t_[i_] != '"') {
            char c = t_[i_++];
            if (c != '\\') {
                out += c;
                continue;
            }
            char e = t_[i_++];
            switch (e) {
            case 'n': out += '\n'; break;
            case 't': out += '\t'; break;
            case 'r': out += '\r'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'u': {
                std::uint32_t cp = Hex4();
                if (cp >= 0xD800 && cp < 0xDC00 && t_.compare(i_, 2, "\\u") == 0) {
                    i_ += 2;
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (Hex4() - 0xDC00);
                }
                Utf8(out, cp);
                break;
            }
            default: out += e;
            }
        }
        Expect('"');
        return out;
    }
    Json Value() {
        Json j;
        const char c = Peek();
        if (c == '"') {
            j.kind = Json::String;
            j.s = Str();
        } else if (c == '[') {
            j.kind = Json::Array;
            ++i_;
            if (Peek() == ']') {
                ++i_;
                return j;
            }
            for (;;) {
                j.a.push_back(Value());
                if (Peek() == ',') { ++i_; continue; }
                Expect(']');
                break;
            }
        } else if (c == '{') {
            j.kind = Json::Object;
            ++i_;
            if (Peek() == '}') {
                ++i_;
                return j;
            }
            for (;;) {
                std::string k = Str();
                Expect(':');
                j.o[k] = Value();
                if (Peek() == ',') { ++i_; continue; }
                Expect('}');
                break;
            }
        } else if (t_.compare(i_, 4, "true") == 0) {
            j.kind = Json::Bool, j.b = true, i_ += 4;
        } else if (t_.compare(i_, 5, "false") == 0) {
            j.kind = Json::Bool, i_ += 5;
        } else if (t_.compare(i_, 4, "null") == 0) {
            i_ += 4;
        } else {
            j.kind = Json::Number;
            const std::size_t start = i_;
            while (i_ < t_.size() && std::string("+-0123456789.eE").find(t_[i_]) != std::string::npos) ++i_;
            if (start == i_) throw std::runtime_error("bad value");
            j.s = t_.substr(start, i_ - start);
        }
        return j;
    }

    const std::string& t_;
    std::size_t i_ = 0;
};

}  // namespace corpus_detail

// Throws when the file cannot be read or a line is not JSON.
inline std::vector<CorpusEntry> ReadCorpus(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::vector<CorpusEntry> entries;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        corpus_detail::Json j = corpus_detail::Parser(line).Parse();
        CorpusEntry e;
        e.id = j.o["id"].s;
        e.example = j.o["example"].s;
        e.isFragment = j.o["is_fragment"].b;
        for (const char* key : {"reads", "writes"})
            for (const corpus_detail::Json& t : j.o[key].a) e.tables.push_back(t.s);
        entries.push_back(std::move(e));
    }
    return entries;
}

}  // namespace qvtest
