// The script that every engine of a JsonObject starts with.
#pragma once

#include "json/script_engine.h"
#include "text/types.h"

// The script text, in three pieces: get__count, which counts the names that a for-in loop over
// its argument lists less the two that every object inherits; the json2 script; and the
// enumerable toJSONString and parseJSON on Object.prototype.
Text EngineScript();

// Runs the engine script in `engine`. The script is compiled to bytecode once per process and
// every engine loads that, which costs far less than compiling the text again; when the
// bytecode cannot be had, the text itself runs. False when the script fails to run.
bool AddEngineScript(ScriptEngine& engine);
