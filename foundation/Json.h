#pragma once
// The JSON value shared by every subsystem: parsing, member access, compact printing.
// Values are shared by reference (JsonRef); a value put into an object or array is held by it,
// so a change made through one holder is seen by all. An empty JsonRef is "no value", distinct
// from a value of kind stNull. Texts are UTF-8.
//
// One value may be read from several threads at once; a value being changed must not be touched
// by another thread. A value must not be put into itself (the reference count would keep it
// alive forever); printing such a loop writes null where the loop closes instead of recursing.
#include "foundation/TaggedValue.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

enum TSuperType : int {
    stNull = 0,
    stBoolean = 1,
    stDouble = 2,
    stCurrency = 3,
    stInt = 4,
    stObject = 5,
    stArray = 6,
    stString = 7,
    stMethod = 8,
};

class TJsonValue;
using JsonRef = std::shared_ptr<TJsonValue>;

// Containers nested deeper than this make the whole text invalid.
constexpr int kJsonMaxDepth = 512;

// The value the text begins with (text after it is ignored), or no value. Never throws, whatever
// the input (deep nesting, huge numbers, invalid UTF-8, truncated text). The text ends at its
// first NUL byte, as the zero-terminated texts it comes from do. Invalid UTF-8 inside strings
// becomes U+FFFD; a number too large for a double becomes an infinity (printed as null).
JsonRef ParseJson(std::string_view utf8) noexcept;
JsonRef NewJsonObject();
JsonRef NewJsonArray();
JsonRef NewJsonString(std::string_view utf8);
JsonRef NewJsonInt(int64_t v);
JsonRef NewJsonBool(bool v);
JsonRef NewJsonDouble(double v);
JsonRef NewJsonNull();
JsonRef NewJsonCurrency(int64_t scaled); // stCurrency, four implied decimals

// Compact printing of a value as a member would be printed (strings quoted). Empty ref -> "".
// Doubles that are not finite print as null, so the text stays readable JSON.
std::string PrintJson(const JsonRef& v);
std::string PrintJson(const TJsonValue& v);

// Values come only from the factories above; the printer relies on the kinds being ours.
class TJsonValue {
public:
    virtual ~TJsonValue() = default;

    virtual TSuperType DataType() const = 0;
    bool IsType(TSuperType t) const { return DataType() == t; }

    // Object members (no value / 0 / false / empty text when missing; see the getter rules).
    virtual JsonRef GetO(std::string_view key) const = 0;
    std::string GetS(std::string_view key) const;
    int64_t GetI(std::string_view key) const;
    bool GetB(std::string_view key) const;
    double GetD(std::string_view key) const;
    // Putting no value stores a stNull. PutO and Add on a value of another kind raise
    // std::logic_error: silently dropping the member would hide the caller's mistake.
    virtual void PutO(std::string_view key, JsonRef value) = 0;
    void PutS(std::string_view key, std::string_view utf8) { PutO(key, NewJsonString(utf8)); }
    void PutI(std::string_view key, int64_t v) { PutO(key, NewJsonInt(v)); }
    void PutB(std::string_view key, bool v) { PutO(key, NewJsonBool(v)); }
    void PutD(std::string_view key, double v) { PutO(key, NewJsonDouble(v)); }
    virtual bool Delete(std::string_view key) = 0;
    virtual std::vector<std::string> Keys() const = 0; // in the order the members were first set

    // Array view (stArray only; other kinds have no elements).
    virtual size_t Length() const = 0;
    virtual JsonRef O(size_t index) const = 0;
    std::string S(size_t index) const;
    int64_t I(size_t index) const;
    bool B(size_t index) const;
    double D(size_t index) const;
    virtual void Add(JsonRef value) = 0;

    // Scalar access of this value itself, by the same rules as the member getters.
    virtual std::string AsString() const = 0; // stNull -> "", stString -> text, else compact JSON
    virtual int64_t AsInteger() const = 0;
    virtual bool AsBoolean() const = 0;
    virtual double AsDouble() const = 0;
};

// Builds a flat object from parallel lists and prints it. Different lengths give "".
// Unsupported tags raise std::runtime_error("not support type: %d"). The result is UTF-8;
// callers convert it to ANSI at their boundary.
std::string JsonObjectText(const std::vector<std::string>& names, const TVarArgs& values);

// Record filling: the failure raised for a member of the wrong kind or range.
struct EJsonInvalidObject : std::runtime_error {
    EJsonInvalidObject() : std::runtime_error("Invalid object") {}
};
// Field readers used to fill plain records from a parsed object, by the record rules
// (text fields, integer fields in a range, lists of records). Each throws EJsonInvalidObject.
// The parsed object a record is filled from; text that is not a JSON object raises
// EJsonInvalidObject.
JsonRef ParseJsonRecord(std::string_view utf8);
std::string JsonFieldText(const TJsonValue& obj, std::string_view name);
int64_t JsonFieldInt(const TJsonValue& obj, std::string_view name, int64_t minValue, int64_t maxValue);
// The objects of a list-of-records field, each to be filled by the same readers. A missing or
// null member gives an empty list.
std::vector<JsonRef> JsonFieldRecords(const TJsonValue& obj, std::string_view name);
