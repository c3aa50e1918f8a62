#include "params/page_build.h"

#include <algorithm>
#include <cstdlib>

namespace vcx::pagebuild {

const ParamField& fieldRow(const char* key) {
    const ParamField* f = FindField(key);
    if (!f) std::abort();  // a page names a row the table does not have
    return *f;
}

void fieldEdits(EditGroup& edits, SupportMask& support, ProgramRecords& r, std::span<const char* const> keys) {
    edits.values.clear();
    edits.minimum.clear();
    edits.maximum.clear();
    support.bits.clear();
    support.mask = 0;
    for (const char* key : keys) {
        const ParamField& f = fieldRow(key);
        const FieldRange shown = ShownRange(r, f);
        edits.values.push_back(FieldByte(r, f));
        edits.minimum.push_back(shown.minimum);
        edits.maximum.push_back(std::min(shown.maximum, 255));
        support.bits.push_back(uint8_t(f.supportBit));
        support.mask = RecordItemMask(r, f.record);
    }
}

void fieldSwitches(SwitchGroup& switches, ProgramRecords& r, std::span<const char* const> keys) {
    const size_t n = keys.size();
    switches.values.clear();
    switches.supported.clear();
    // The picture of value 0 for each switch, then of every other value: 0 shows on.
    switches.table.assign(2 * n, 0);
    size_t i = 0;
    for (const char* key : keys) {
        const ParamField& f = fieldRow(key);
        const bool zeroIsOn = f.polarity == Polarity::ZeroIsOn;
        switches.values.push_back(FieldByte(r, f));
        switches.table[i] = zeroIsOn ? 0 : 1;
        switches.table[n + i] = zeroIsOn ? 1 : 0;
        switches.supported.push_back(uint32_t(FieldPresent(r, f)));
        ++i;
    }
}

FieldStep fieldStep(ProgramRecords& r, const char* key) {
    const ParamField& f = fieldRow(key);
    const FieldRange range = ValueRange(r, f);
    return {FieldByte(r, f), {range.minimum, range.maximum}, FieldPresent(r, f)};
}

void switchTips(QWidget* page, int id, const char* key) {
    const ParamField& f = fieldRow(key);
    if (auto* b = dynamic_cast<CQVMyTipBMP*>(qvui::findControl(page, id))) {
        b->featureTipId = f.tips[0];
        b->featureSecondId = f.tips[1];
        b->sideTipId = f.tips[2];
        b->sideSecondId = f.tips[3];
    }
}

void editTips(QWidget* page, int firstId, std::span<const char* const> keys) {
    int id = firstId;
    for (const char* key : keys) {
        const ParamField& f = fieldRow(key);
        if (auto* e = dynamic_cast<CQVMyTipEdit*>(qvui::findControl(page, id))) e->SetTipIds(f.tips[0], f.tips[1]);
        ++id;
    }
}

void stepTips(QWidget* page, int firstId, const char* key) {
    const ParamField& f = fieldRow(key);
    for (int k = 0; k < 2; ++k)
        if (auto* b = dynamic_cast<CQVMyTipButton*>(qvui::findControl(page, firstId + k))) {
            b->featureTipId = f.tips[2 * k];
            b->sideTipId = f.tips[2 * k + 1];
        }
}

void choiceTips(QWidget* page, int firstId, const char* key, int count) {
    const ParamField& f = fieldRow(key);
    for (int k = 0; k < count && 2 * k + 1 < int(std::size(f.tips)); ++k)
        if (auto* b = dynamic_cast<CQVMyTipBMP*>(qvui::findControl(page, firstId + k))) {
            b->featureTipId = f.tips[2 * k];
            b->sideTipId = f.tips[2 * k + 1];
        }
}

} // namespace vcx::pagebuild
