#include "machine/MachineData.h"

namespace ldt {

const WString& MachineData::At(std::size_t position) const {
    static const WString kEmpty;
    return position < values_.size() ? values_[position] : kEmpty;
}

void ParseReply(MachineData& data, WString reply) {
    std::size_t start = 0;
    for (std::size_t comma; (comma = reply.find(u',', start)) != WString::npos; start = comma + 1)
        data.Append(reply.substr(start, comma - start));
}

}  // namespace ldt
