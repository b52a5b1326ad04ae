// Fuzz target: reading the readings history from the end. The file's bytes
// come from the input; whatever they hold, the records read must be exactly
// those a plain reading of the whole file line by line finds (newest first
// per machine, at most the number asked for, a torn last line and lines
// too long left out), every record must write back as one line that reads
// back, and no more than the budget is ever read.
//
// Input: byte 0 bits 0-1 records per machine (1-4), bit 7 only the
// machines "a" and "b" (else every machine); byte 1 the block size
// (32 to 2072 in steps of 8);
// byte 2 how much of the rest (in 256ths) is the older generation; the rest
// the two generations' bytes, older first.

#include "FuzzInput.h"
#include "fakes/Fakes.h"
#include "link/History.h"

#include <cstdlib>
#include <map>

namespace {

using namespace ldt;

void Check(bool ok) {
    if (!ok) std::abort();
}

// Every whole line of `bytes`, newest first.
std::vector<std::string> LinesNewestFirst(const std::string& bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = bytes.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(bytes.substr(start, nl - start + 1));
    return {lines.rbegin(), lines.rend()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const std::uint8_t flags = in.Byte();
    const std::size_t perKey = (flags & 3) + 1u;
    const std::size_t block = 32u + 8u * in.Byte();
    const std::size_t olderShare = in.Byte();
    const std::string rest = in.Bytes(size);
    const std::size_t olderBytes = rest.size() * olderShare / 256;

    fakes::FakeHistory file;
    file.generations[1] = rest.substr(0, olderBytes);
    file.generations[0] = rest.substr(olderBytes);
    std::vector<WString> keys;
    if (flags & 0x80) keys = {u"a", u"b"};

    std::vector<HistoryRecord> expected;
    std::map<WString, std::size_t> counts;
    for (int generation = 0; generation < 2; ++generation)
        for (const std::string& line : LinesNewestFirst(file.generations[generation])) {
            std::optional<HistoryRecord> r = ParseHistoryLine(line);
            if (!r || (!keys.empty() && r->key != u"a" && r->key != u"b")) continue;
            if (counts[r->key]++ < perKey) expected.insert(expected.begin(), *r);
        }

    const std::vector<HistoryRecord> got = ReadHistory(file, keys, perKey, kHistoryReadBudget, block);
    Check(got.size() == expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        Check(got[i].key == expected[i].key && got[i].time == expected[i].time && got[i].values == expected[i].values);
        const std::string line = HistoryLine(got[i]);
        Check(line.size() <= kHistoryLineBytes && ParseHistoryLine(line).has_value());
    }

    // A small budget bounds what is read.
    file.bytesRead = 0;
    const std::size_t budget = block * 3;
    ReadHistory(file, keys, perKey, budget, block);
    Check(file.bytesRead <= budget);
    return 0;
}
