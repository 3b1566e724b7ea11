// One JSON value kept in a script engine as the global variable "da", read and written by
// composing short script texts that the engine evaluates.
//
// Member texts are joined into the script unchanged: a member is a path such as "a.b" or
// "list[2]", and a value text is placed between single quotes (or bare, with `raw`) without
// escaping. A member that begins with "[" follows the variable name directly in GetText,
// GetObject and Count; every other operation puts a dot before the member. A text that the
// engine rejects, or that fails or runs past the engine's limits, gives the empty result of the
// call's kind (empty text, 0 or false) and changes only what it changed before it stopped.
//
// Copies share one engine until one of them runs Parse, which gives that one a fresh engine.
// An object and its copies are used on one thread; separate objects may run on separate threads.
#pragma once

#include <memory>

#include "json/script_engine.h"
#include "text/types.h"

class JsonObject {
public:
    // An object whose engine holds an empty object.
    JsonObject();
    virtual ~JsonObject();
    // A copy holds a second handle to the same engine.
    JsonObject(const JsonObject& other);
    JsonObject& operator=(const JsonObject& other);

    // Replaces the engine by a fresh one holding an empty object; keeps the one it had (and
    // empties its value) when no engine can be created.
    virtual void CreateEngine();
    // Loads `jsonText` into a fresh engine: read as strict JSON or, when it is no JSON but a
    // literal that runs no code (single quotes, bare member names and the like), evaluated.
    // True when the value is neither null nor undefined. An object without an engine is not
    // given one and returns false.
    virtual bool Parse(const Text& jsonText);
    // The JSON text of the whole value.
    virtual Text ToJson() const;
    // Sets `member` to the string `value`, or with `isJson` to the value of the expression
    // `value` (an empty object for an empty value).
    virtual void SetText(const Text& member, const Text& value, bool isJson = false);
    // Sets `member` to the value of the expression `jsonText` (undefined for an empty text).
    virtual void SetJson(const Text& member, const Text& jsonText);
    virtual void SetNumber(const Text& member, double value);
    virtual double GetNumber(const Text& member) const;
    // The JSON text of `member`.
    virtual Text GetJson(const Text& member) const;
    // A string member unchanged, a number in the "%.13g" form, other values in the engine's
    // text form; with `asJson`, the member's JSON text. Empty for a missing or null member.
    virtual Text GetText(const Text& member, bool asJson = false) const;
    // A new object holding a copy of `member`, made through its JSON text; it shares nothing
    // with this one.
    virtual JsonObject GetObject(const Text& member) const;
    // The own members of an object or the elements present in an array, at `member` or of the
    // whole value.
    virtual int Count(const Text& member = Text()) const;
    // Appends `value` (quoted unless `raw`) to the array at `member` or the whole value, first
    // replacing whatever is there by an empty array when it is no array.
    virtual void Append(const Text& value, const Text& member = Text(), bool raw = false);
    // A new, independent object holding a copy of element `index` of `member` or of the value.
    virtual JsonObject GetElementObject(int index, const Text& member = Text()) const;
    // Element `index` of `member` or of the value as text; with `asJson`, its JSON text.
    virtual Text GetElementText(int index, const Text& member = Text(), bool asJson = false) const;
    // Sets element `index` of the value to `value`, quoted unless `raw`.
    virtual void SetElement(int index, const Text& value, bool raw = false);
    // Removes element `index` of the value, shifting the later ones down.
    virtual void RemoveElement(int index);
    virtual void RemoveMember(const Text& member);
    // Makes the value an empty object (type codes 0 and 4) or an empty array (5); any other
    // code changes nothing.
    virtual void Reset(int typeCode);
    // Replaces the whole value by `value`, quoted unless `raw`.
    virtual void SetValue(const Text& value, bool raw = false);
    // True when `member` holds neither null nor undefined.
    virtual bool HasMember(const Text& member) const;
    // Replaces `names` by the member names of `member` or of the value, in enumeration order,
    // and returns their number.
    virtual int GetMemberNames(TextArray& names, const Text& member = Text()) const;
    // The type code of `member` or of the value: 0 null or missing, 2 number, 4 object,
    // 5 array, 6 string, -1 anything else or a path that cannot be evaluated.
    virtual int GetType(const Text& member = Text()) const;
    // Makes the value an empty object.
    virtual void Clear();

protected:
    // An object whose engines work under `limits` rather than the default ones.
    explicit JsonObject(const ScriptLimits& limits);

private:
    void Initialize();

    // Engine calls that yield the empty result of their kind when the object holds no engine.
    bool Run(const Text& code) const;
    Text RunText(const Text& code) const;
    double RunNumber(const Text& code) const;
    bool RunBoolean(const Text& code) const;
    void RunReleased(const Text& code) const;

    // variableName + "." + member.
    Text DotPath(const Text& member) const;
    // Like DotPath, without the dot when the member begins with "[".
    Text BracketPath(const Text& member) const;
    // variableName alone for an empty member, otherwise DotPath.
    Text OptionalDotPath(const Text& member) const;
    // variableName alone for an empty member, otherwise BracketPath.
    Text OptionalBracketPath(const Text& member) const;

    Text variableName;
    std::shared_ptr<ScriptEngine> engine;
    ScriptLimits limits;
};
