// The parameter fields: one row per value a parameter page edits, the change
// list of Apply lists and the parameter summary prints. A row names where the
// value lives (record, byte offset, item form), how a page limits it (presence,
// minimum, maximum rule), how it reads as text (transform, switch polarity) and
// its tips, confirmation line and summary line. Pure data and functions over the
// program-wide records; no widgets.
#pragma once

#include "core/controller_api.h"

#include <QString>

#include <functional>
#include <span>

namespace vcx {

// The group records, in the order Apply writes them.
enum class ParamRecord : uint8_t {
    HostInterface, Panel, Finger, Palm, Water, Base, AntiNoise, Coordinate,
    PowerSaving, NormalScan, AbnormalScan, Misc, DriveIC, Custom
};

// How the value sits at its offset: a ParameterItem (value, maximum, stored,
// present at +4), a ParameterPairItem (stored at +3), a ParameterWordItem (u16
// value, maximum, stored, present at +8), a ParameterShortWordItem (u16 value,
// stored, present at +4, no maximum), or a plain information byte.
enum class ItemForm : uint8_t { Byte, Pair, Word, InfoByte, ShortWord };

// Which value a switch shows as on.
enum class Polarity : uint8_t { None, OneIsOn, ZeroIsOn };

// The largest value a page takes: the item's maximum, or one more where the page
// shows value + 1.
enum class MaxRule : uint8_t { Item, ItemPlusOne };

// How a value reads in the change list and the summary.
enum class ValueText : uint8_t {
    Number,       // "%d"
    Hex,          // "0x%02X"
    PlusOne,      // value + 1
    Interface,    // 0 "USB", 1 "RS232 / UART", 2 "I2C", 8 "Auto Detect"
    HidReport,    // "Windows 8 Protocol", "Mouse Emulation", "Digitizer Touch", "Digitizer Pen"
    PanelSize,    // the controller's panel-size text of the index
    CoverLens,    // the controller's cover-lens text of the index
    Switch,       // "( ON )" / "( OFF )" by the polarity
    WaterMode,    // "OFF", "Water Detect", "Water Performance"
    MedianLevel,  // "OFF", "Half", "Full"
    HoppingSelect, // "0", "1", "2"
    EnhancedHopping, // "Normal", "Enhance"
    Orientation,  // "Bottom", "Right", "Top", "Left" (strings 1230..1233)
    IdleInterval, // index -> 50, 30, 20, 10 ms
    Voltage,      // index -> 0, 6, 8, ..., 18 V
    Quad,         // this row and the next three as "{ a b c d }"
};

struct ParamField {
    const char* key;      // "palm.rejection": how pages and tests name the row
    ParamRecord record;
    uint16_t offset;      // byte offset of the item in its record
    ItemForm form;
    int8_t supportBit;    // bit of the record's item mask a page tests; -1: the item's present word only
    uint8_t minimum;
    MaxRule maxRule;
    Polarity polarity;
    // Tips (string ids, 0 = none): a switch's feature on, feature off, side
    // effect on, side effect off; an edit's feature and side effect; a step
    // pair's (or its slider's) feature and side effect of the pair's first
    // control (the even id), then of its second; a choice of pictures the
    // feature and side effect of each picture in turn.
    uint16_t tips[6];
    bool engineerOnly;    // shown only in engineer mode
    uint16_t confirmId;   // change-list line (string id), 0: not listed
    ValueText text;
    const char* summary;  // summary line format, nullptr: not in the summary
    uint8_t summaryRank;  // order of the summary lines inside a record
};

// Every row, in change-list order.
std::span<const ParamField> ParameterFields();
// The row of a key; nullptr for an unknown key.
const ParamField* FindField(const char* key);

// The record's bytes and whether it was read (valid word non-zero).
uint8_t* RecordBytes(ProgramRecords& r, ParamRecord record);
const uint8_t* RecordBytes(const ProgramRecords& r, ParamRecord record);
bool RecordValid(const ProgramRecords& r, ParamRecord record);

struct FieldValue {
    bool present = false;
    int value = 0;
    int stored = 0;
    int maximum = 0;
};
FieldValue ReadField(const ProgramRecords& r, const ParamField& f);
// Sets the value the user edits (the stored value stays).
void WriteField(ProgramRecords& r, const ParamField& f, int value);
// The largest value a page takes for the field, by its maximum rule.
int FieldMaximum(const ProgramRecords& r, const ParamField& f);
// Whether a page offers the field: its record was read and the item is present.
bool FieldSupported(const ProgramRecords& r, const ParamField& f);

// What a page edits of a row. The item's value byte of a Byte or Pair row
// (nullptr for the other forms); whether the record was read and the item is
// present (a page's switches and step pairs test no mask bit); the record's item
// mask, 0 for a record not read (the bits a page's edits test).
uint8_t* FieldByte(ProgramRecords& r, const ParamField& f);
bool FieldPresent(const ProgramRecords& r, const ParamField& f);
uint16_t RecordItemMask(const ProgramRecords& r, ParamRecord record);
// The range a page keeps the item's value in: the row's minimum up to its
// maximum rule. A row shown as value + 1 (ItemPlusOne) gives the range of the
// value shown; its value itself stays one below (minimum - 1 .. maximum).
struct FieldRange {
    int minimum = 0;
    int maximum = 0;
};
FieldRange ShownRange(const ProgramRecords& r, const ParamField& f);
FieldRange ValueRange(const ProgramRecords& r, const ParamField& f);

// The text of one value of a row, bounded: a value outside a name table prints
// as its number. `names(kind, index)` gives the controller's panel-size (0) and
// cover-lens (1) texts.
using ControllerNames = std::function<QString(int kind, int index)>;
QString FieldValueText(const ParamField& f, int value, const ControllerNames& names = {});
// "( ON )" or "( OFF )" of a switch value by its polarity.
QString SwitchText(Polarity p, int value);

// The change list of Apply: one line per present item of a read record whose
// value differs from its stored value, in table order, with the string-table
// formats 1240..1291. A changed byte item above its maximum (which the group
// write skips) ends " (above maximum, not written)".
QString FormatParameterChanges(const ProgramRecords& r, const ControllerNames& names = {});

// The parameter summary of the device log: for every read group an empty line
// and one line per present item, from the stored values. `deviceType` is the
// open device's interface flags.
QString FormatParameterSummary(const ProgramRecords& r, uint32_t deviceType, const ControllerNames& names = {});

// The area unit of the finger and palm pages: the panel's pitch byte from
// parameter version 1.31 (else 65), doubled on the finger page when feature
// byte 3 is 128 or more.
double AreaPitch(const ProgramRecords& r, int paraVersion, const std::array<uint8_t, 8>& features, bool fingerPage);
QString PalmSizeUnit(double pitch);        // "* %.0f(mm^2)" of p^2 / 100
QString PalmRangeUnit(double pitch);       // "* %.1fmm" of p / 10
QString WindowLockUnit(double pitch);      // "* %.3f(mm^2)" of p^2 / 51200
QString FastMotionUnit(double pitch);      // "* %.0f(mm^2)" of p^2 / 200

} // namespace vcx
