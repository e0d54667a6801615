// One descriptor per setting: its name, where it is stored, its start and
// restore values, the limits the dialogs put on it and how the configuration
// file writes it. Restore defaults, the configuration loader and writer, the
// dialogs' limits and the clamping where processing reads a value all read
// these tables, so each fact about a setting is written once.
//
// Four tables:
//   ProcessSettingTable()  every ProcessSetting value: the 18 groups of the
//                          configuration file in file order, each with its
//                          attributes in file order, then the values the file
//                          does not carry;
//   ScanSettingTable()     the scan window's numeric values (ScanSetting and
//                          g_useDriverUI; its texts are ScanText values);
//   ScanStepTable()        the sixteen ScanStepFlags switches in list order;
//   DetectSettingTable()   the detection run's values.
//
// Adding a setting: add its field to the store (ProcessSetting.h, ...) and one
// line to its table in SettingsTable.cpp.
//
// Values pass through the descriptors as double, which holds every int32,
// float and COLORREF exactly. The store itself is unchanged: process-wide
// relaxed atomics that workers read live.
#pragma once

#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "settings/RelaxedAtomic.h"

namespace settings {

// What a value means (the store's width may differ: ScanSetting::dpi is an
// unsigned 16-bit int).
enum class ValueType : std::uint8_t {
    kFlag,    // 0 or 1; any other number counts as 1
    kInt,
    kFloat,
    kColour,  // COLORREF 0x00BBGGRR
};

// How the value is limited.
enum class Limit : std::uint8_t {
    kNone,     // no limit anywhere: stored and used as given
    kControl,  // the dialog's slider, list or radio buttons give only min..max
    kClamped,  // the dialog clamps a typed value to min..max without a message
    kRefused,  // the dialog refuses a typed value outside min..max with `refusal`
    kBits,     // a bit set: only the bits of `max` mean something
    kWork,     // no dialog limits it (it is stored as typed), but it sizes
               // processing work (a loop or a buffer): processing reads it
               // clamped to min..max, bounds that are ours
};

// How the configuration file writes the value.
enum class Format : std::uint8_t {
    kNotInFile,
    kFlag,         // "1" when not 0, else "0"
    kDecimal,      // "%d"
    kOneDecimal,   // "%.1f"
    kTwoDecimals,  // "%.2f"
};

using FieldPtr = std::variant<RelaxedAtomic<std::uint8_t>*, RelaxedAtomic<std::uint16_t>*,
                              RelaxedAtomic<std::int32_t>*, RelaxedAtomic<float>*, RelaxedAtomic<std::uint32_t>*>;

inline constexpr double kUnbounded = std::numeric_limits<double>::infinity();

struct Setting {
    // Configuration-file element and attribute ("rmbkcolor", "bright"); for a
    // value the file does not carry the group is empty and the key is the
    // value's own name ("colorradius").
    std::string_view group;
    std::string_view key;
    ValueType type = ValueType::kInt;
    FieldPtr field;
    double start = 0;             // the value at program start
    double restore = 0;           // the value after "恢复默认"
    bool keptOnRestore = false;   // "恢复默认" leaves it as it is
    Limit limit = Limit::kNone;
    double min = -kUnbounded;     // bounds (kBits: max is the mask)
    double max = kUnbounded;
    std::span<const std::int32_t> choices;  // a list's values, when it offers only these
    // For a list that shows every stored value as one of its items (and so
    // stores one of its values on saving): that item's value; null for
    // other settings.
    double (*listValue)(double value) = nullptr;
    Format format = Format::kNotInFile;
    const wchar_t* refusal = nullptr;  // the dialog's message when it refuses a value

    // "group/key", or the key alone for a value without a group.
    std::string Name() const;

    // The stored value.
    double Get() const;
    // Stores `value`: a flag as 1 when not 0, an int or colour truncated
    // and saturated to the store's width, a float narrowed (saturated to the
    // largest float). No limit is applied.
    void Set(double value) const;

    // The value the limits make of `value`: bounds clamp it (not-a-number
    // becomes the minimum), a bit set keeps only its bits; without a limit
    // it is returned unchanged.
    double Clamp(double value) const;
    // True when the limits leave `value` as it is.
    bool WithinLimits(double value) const;
    // The value the settings dialog stores for `value` when it saves it: a
    // list's own value for a list that shows any value as one of its items
    // (correct/angle 10 becomes 15, dpi/dst 150 becomes 600), otherwise the
    // value kept inside the limits (Clamp). What a loaded value becomes.
    double AsDialogStores(double value) const;
};

std::span<const Setting> ProcessSettingTable();
std::span<const Setting> ScanSettingTable();
std::span<const Setting> ScanStepTable();
std::span<const Setting> DetectSettingTable();
// The four tables, in the order above.
std::span<const std::span<const Setting>> AllTables();

// The rows of one group (contiguous in the table); empty when there is none.
std::span<const Setting> Group(std::span<const Setting> table, std::string_view group);
// The groups of a table in order, each once (the empty group of values
// without a file element included when the table has such values).
std::vector<std::string_view> GroupNames(std::span<const Setting> table);
// The row of `group` and `key`, or null.
const Setting* Find(std::span<const Setting> table, std::string_view group, std::string_view key);
// The row, in any table, whose field is `field`, or null.
const Setting* FindField(const void* field);

// Every value of the table takes its restore value, except those kept on
// restore.
void RestoreDefaults(std::span<const Setting> table);
// Every value of the table takes its start value.
void ResetToStart(std::span<const Setting> table);
// Every stored value of the table is clamped to its limits.
void ClampAll(std::span<const Setting> table);

// The stored value of `field` clamped to the limits of its row: what
// processing reads where a value out of the dialog's range would make it
// misbehave. A field without a row is returned as stored.
template <typename T>
T Clamped(const RelaxedAtomic<T>& field);

extern template std::uint8_t Clamped(const RelaxedAtomic<std::uint8_t>&);
extern template std::uint16_t Clamped(const RelaxedAtomic<std::uint16_t>&);
extern template std::int32_t Clamped(const RelaxedAtomic<std::int32_t>&);
extern template float Clamped(const RelaxedAtomic<float>&);
extern template std::uint32_t Clamped(const RelaxedAtomic<std::uint32_t>&);

}  // namespace settings
