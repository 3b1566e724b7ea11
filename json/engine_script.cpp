#include "json/engine_script.h"

#include <string_view>

namespace json_internal {
// The json2 script, embedded at build time.
std::string_view Json2Script();
}  // namespace json_internal

namespace {

// The count starts at -2 because every object lists toJSONString and parseJSON as inherited
// names. It runs in sloppy mode and assigns the undeclared global v.
constexpr std::string_view kCountPiece =
    "function get__count(c){var i=-2;for(v in c)i++;return i}\n";

// Set by plain assignment, so that for-in loops list both names; strict like the json2 code
// that it follows, so that `this` is never boxed.
constexpr std::string_view kPrototypePiece = R"(
(function () {
    "use strict";
    if (typeof Object.prototype.toJSONString !== "function") {
        Object.prototype.toJSONString = function (filter) {
            return JSON.stringify(this, filter);
        };
        Object.prototype.parseJSON = function (filter) {
            return JSON.parse(this, filter);
        };
    }
}());
)";

// The engine script's bytecode, compiled on first use by a throwaway engine; empty when that
// failed. Shared read-only by every thread.
const Bytes& CompiledEngineScript() {
    static const Bytes bytecode = [] {
        auto engine = ScriptEngine::Create();
        return engine ? engine->Compile(EngineScript()) : Bytes();
    }();
    return bytecode;
}

}  // namespace

Text EngineScript() {
    Text script(kCountPiece);
    script += json_internal::Json2Script();
    script += kPrototypePiece;
    return script;
}

bool AddEngineScript(ScriptEngine& engine) {
    const Bytes& bytecode = CompiledEngineScript();
    if (!bytecode.empty()) return engine.AddCompiled(bytecode);
    return engine.AddCode(EngineScript());
}
