#include "json/json_object.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <string>
#include <system_error>
#include <utility>

#include "json/engine_script.h"
#include "json/literal_check.h"
#include "text/codepage.h"
#include "text/primitives.h"

namespace {

// The C format "%.13g": at most 13 significant digits, trailing zeros dropped, the exponent
// form for very large and very small magnitudes. Independent of the locale.
Text FormatNumber(double value) {
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 13);
    return error == std::errc() ? Text(buffer, end) : Text();
}

// The quote put around a value text: none when the value is raw script.
Text Quote(bool raw) { return raw ? Text() : Text("'"); }

bool BeginsWithBracket(const Text& member) { return !member.empty() && member[0] == '['; }

}  // namespace

JsonObject::JsonObject() { Initialize(); }

JsonObject::JsonObject(const ScriptLimits& limits) : limits(limits) { Initialize(); }

JsonObject::~JsonObject() = default;

JsonObject::JsonObject(const JsonObject& other) = default;

JsonObject& JsonObject::operator=(const JsonObject& other) = default;

void JsonObject::Initialize() {
    variableName = "da";
    CreateEngine();
}

void JsonObject::CreateEngine() {
    if (std::shared_ptr<ScriptEngine> created = ScriptEngine::Create(limits)) {
        engine = std::move(created);
    }
    if (!engine) return;
    AddEngineScript(*engine);
    engine->Eval("var " + variableName + "={}");
}

bool JsonObject::Parse(const Text& jsonText) {
    if (engine) {
        engine.reset();
        CreateEngine();
    }
    if (!engine) return false;
    engine->Eval("var " + variableName + "=null");
    // A reply is read as data. Text that is no JSON is evaluated only when it is a plain
    // literal, for the lenient object syntax (single quotes, bare member names) that servers
    // sometimes send: a reply never runs code, not even code that built-in functions would
    // carry out past the engine's time budget.
    if (!engine->ReadJson(variableName, jsonText) && IsDataLiteral(GbkToUtf8(jsonText))) {
        engine->AddCode("var " + variableName + "=eval(" + jsonText + ")");
    }
    return engine->EvalBoolean("null !=" + variableName);
}

Text JsonObject::ToJson() const { return RunText("JSON.stringify(" + variableName + ")"); }

void JsonObject::SetText(const Text& member, const Text& value, bool isJson) {
    if (isJson) {
        Run(DotPath(member) + "= eval(" + (value.empty() ? Text("{}") : value) + ")");
    } else {
        Run(DotPath(member) + "='" + value + "'");
    }
}

void JsonObject::SetJson(const Text& member, const Text& jsonText) {
    Run(DotPath(member) + "= eval(" + jsonText + ")");
}

void JsonObject::SetNumber(const Text& member, double value) {
    Run(DotPath(member) + "=" + FormatNumber(value));
}

double JsonObject::GetNumber(const Text& member) const { return RunNumber(DotPath(member)); }

Text JsonObject::GetJson(const Text& member) const {
    return RunText("JSON.stringify(" + DotPath(member) + ")");
}

Text JsonObject::GetText(const Text& member, bool asJson) const {
    if (asJson) return RunText("JSON.stringify(" + BracketPath(member) + ")");
    if (!engine) return Text();
    if (GetType(member) == 2) return FormatNumber(GetNumber(member));
    return RunText(BracketPath(member));
}

JsonObject JsonObject::GetObject(const Text& member) const {
    JsonObject result(limits);
    result.Parse(RunText("JSON.stringify(" + BracketPath(member) + ")"));
    return result;
}

int JsonObject::Count(const Text& member) const {
    const double count = RunNumber("get__count(" + OptionalBracketPath(member) + ")");
    // Null and undefined list no names at all, which would count as -2: nothing is there.
    if (std::isnan(count) || count <= 0) return 0;
    if (count >= INT_MAX) return INT_MAX;
    return static_cast<int>(count);  // truncates toward zero
}

void JsonObject::Append(const Text& value, const Text& member, bool raw) {
    const Text path = OptionalDotPath(member);
    const Text quote = Quote(raw);
    Run("if (Object.prototype.toString.call(" + path + ") != '[object Array]') { " + path +
        "=new Array();} " + path + ".push(" + quote + value + quote + ")");
}

JsonObject JsonObject::GetElementObject(int index, const Text& member) const {
    JsonObject result(limits);
    result.Parse(
        RunText("JSON.stringify(" + OptionalDotPath(member) + "[" + std::to_string(index) + "])"));
    return result;
}

Text JsonObject::GetElementText(int index, const Text& member, bool asJson) const {
    const Text element = OptionalDotPath(member) + "[" + std::to_string(index) + "]";
    return RunText(asJson ? "JSON.stringify(" + element + ")" : element);
}

void JsonObject::SetElement(int index, const Text& value, bool raw) {
    const Text quote = Quote(raw);
    Run(variableName + "[" + std::to_string(index) + "]=" + quote + value + quote);
}

void JsonObject::RemoveElement(int index) {
    Run(variableName + ".splice(" + std::to_string(index) + ",1)");
}

void JsonObject::RemoveMember(const Text& member) { RunReleased("delete " + DotPath(member)); }

void JsonObject::Reset(int typeCode) {
    if (typeCode == 0 || typeCode == 4) {
        Run("var " + variableName + "={}");
    } else if (typeCode == 5) {
        Run("var " + variableName + "=new Array()");
    }
}

void JsonObject::SetValue(const Text& value, bool raw) {
    const Text quote = Quote(raw);
    RunBoolean(variableName + "=" + quote + value + quote);
}

bool JsonObject::HasMember(const Text& member) const {
    return RunBoolean(DotPath(member) + " !=null");
}

int JsonObject::GetMemberNames(TextArray& names, const Text& member) const {
    const Text list = RunText("var ary=''; for (var key in " + OptionalDotPath(member) +
                              ") {ary=ary+ key+','; }");
    RunReleased("ary=null");
    // The loop also lists the two names that every object inherits. They are dropped as whole
    // names, so that a member whose name merely contains one of them stays as it is.
    names.clear();
    for (Text& name : SplitText(list, ",")) {
        if (name != "toJSONString" && name != "parseJSON") names.push_back(std::move(name));
    }
    return static_cast<int>(names.size());
}

int JsonObject::GetType(const Text& member) const {
    const Text path = OptionalDotPath(member);
    if (RunBoolean(path + "==null")) return 0;
    const Text type = RunText("typeof (" + path + ")");
    if (type == "string") return 6;
    if (type == "number") return 2;
    if (type == "object") {
        return BeginsWithBracket(RunText("JSON.stringify(" + path + ")")) ? 5 : 4;
    }
    return -1;
}

void JsonObject::Clear() { Run(variableName + "={}"); }

bool JsonObject::Run(const Text& code) const { return engine && engine->Eval(code); }

Text JsonObject::RunText(const Text& code) const {
    return engine ? engine->EvalText(code) : Text();
}

double JsonObject::RunNumber(const Text& code) const {
    return engine ? engine->EvalNumber(code) : 0;
}

bool JsonObject::RunBoolean(const Text& code) const { return engine && engine->EvalBoolean(code); }

void JsonObject::RunReleased(const Text& code) const {
    if (engine) engine->EvalReleased(code);
}

Text JsonObject::DotPath(const Text& member) const { return variableName + "." + member; }

Text JsonObject::BracketPath(const Text& member) const {
    return BeginsWithBracket(member) ? variableName + member : DotPath(member);
}

Text JsonObject::OptionalDotPath(const Text& member) const {
    return member.empty() ? variableName : DotPath(member);
}

Text JsonObject::OptionalBracketPath(const Text& member) const {
    return member.empty() ? variableName : BracketPath(member);
}
