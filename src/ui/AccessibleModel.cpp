#include "ui/AccessibleModel.h"

#include "machine/Json.h"
#include "ui/DataPanel.h"
#include "ui/WindowGeometry.h"

#include <algorithm>
#include <utility>

namespace ldt {

namespace {

const std::pair<HotButton, const char16_t*> kButtons[] = {
    {HotRefresh, u"Refresh"}, {HotSaveAs, u"Save as"}, {HotClose, u"Close"}};

bool Blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\u00A0'; }

// Whether a unit starts at position i (0 < i < text.size()).
bool StartsUnit(const WString& text, std::size_t i, TextUnit unit) {
    switch (unit) {
    case TextUnit::Char:  // never between the halves of a surrogate pair
        return !(IsLowSurrogate(text[i]) && IsHighSurrogate(text[i - 1]));
    case TextUnit::Word:  // a word with the blanks after it
        return Blank(text[i - 1]) && !Blank(text[i]);
    case TextUnit::Sentence: {  // after . ! or ? and blanks
        if (!Blank(text[i - 1]) || Blank(text[i])) return false;
        std::size_t end = i;
        while (end > 0 && Blank(text[end - 1])) --end;
        return end > 0 && (text[end - 1] == u'.' || text[end - 1] == u'!' || text[end - 1] == u'?');
    }
    case TextUnit::Whole:
        break;
    }
    return false;
}

}  // namespace

std::vector<AccessibleItem> DescribeWindow(const MachineData& data) {
    std::vector<AccessibleItem> items;
    for (const Box& box : kBoxes)
        items.push_back({AccessibleRole::StaticText, box.caption, BoxText(box, data), box.area, HotNone});
    for (const auto& [button, caption] : kButtons)
        items.push_back({AccessibleRole::PushButton, caption, {}, ButtonRect(button), button});
    // The label is drawn at the top of a rectangle reaching below the
    // window; its place is the part of the client area the skin covers.
    Rect version = kVersionRect;
    version.bottom = std::min(version.bottom, kSkinBlockHeight - kClientOriginInSkin.y);
    items.push_back({AccessibleRole::StaticText, kVersionLabel, kVersionLabel, version, HotNone});
    return items;
}

std::vector<std::size_t> ChangedValues(const std::vector<AccessibleItem>& before,
                                       const std::vector<AccessibleItem>& after) {
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < after.size(); ++i)
        if (i >= before.size() || before[i].value != after[i].value) changed.push_back(i);
    return changed;
}

std::size_t IndexOfButton(const std::vector<AccessibleItem>& items, HotButton button) {
    for (std::size_t i = 0; i < items.size(); ++i)
        if (button != HotNone && items[i].button == button) return i;
    return items.size();
}

TextSpan TextAround(const WString& text, int offset, TextUnit unit, TextSide side) {
    const int length = static_cast<int>(text.size());
    offset = offset == -1 ? length : std::clamp(offset, 0, length);
    // Where units start, and the end; the end offset lies in no unit.
    std::vector<int> starts = {0};
    for (std::size_t i = 1; i < text.size(); ++i)
        if (StartsUnit(text, i, unit)) starts.push_back(static_cast<int>(i));
    if (length > 0) starts.push_back(length);
    std::size_t at = 0;  // the unit holding the offset (the last entry for the end)
    while (at + 1 < starts.size() && starts[at + 1] <= offset) ++at;
    const std::size_t units = starts.size() - 1;
    switch (side) {
    case TextSide::At:
        if (at < units) return {starts[at], starts[at + 1]};
        break;
    case TextSide::Before:
        return at > 0 ? TextSpan{starts[at - 1], starts[at]} : TextSpan{0, 0};
    case TextSide::After:
        if (at + 1 < units) return {starts[at + 1], starts[at + 2]};
        break;
    }
    return {length, length};
}

}  // namespace ldt
