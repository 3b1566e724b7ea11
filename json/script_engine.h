// A JavaScript engine with its own global scope, fed and read in GBK text.
//
// Texts go into the engine converted from GBK to UTF-8 and text results come back converted to
// GBK; a character that GBK cannot hold comes back as "?". Every call that runs script works
// under a time budget, and the engine's heap under a memory cap: past either, the call fails
// like any script error and the engine stays usable. A failed call yields the empty result of
// its kind (empty text, 0 or false). An engine is used on one thread at a time; separate engines
// share nothing and may run on separate threads at once.
#pragma once

#include <chrono>
#include <cstddef>
#include <memory>

#include "text/types.h"

// The bounds that an engine works under.
struct ScriptLimits {
    // Time that one call may spend running script.
    std::chrono::milliseconds timeBudget{1000};
    // Bytes that the engine's heap may hold at once.
    std::size_t memoryCap = std::size_t{1} << 30;
};

class ScriptEngine {
public:
    // A new engine, or null when its heap cannot be created within the memory cap.
    static std::unique_ptr<ScriptEngine> Create(const ScriptLimits& limits = ScriptLimits());

private:
    struct Heap;
    // Lets only Create construct an engine, through make_unique.
    struct Token {
        explicit Token() = default;
    };

public:
    ScriptEngine(Token, std::unique_ptr<Heap> heap);
    ~ScriptEngine();
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Runs `code` as a program in the global scope: its top-level declarations become globals.
    // False when the code is rejected, throws or runs out of time or memory.
    bool AddCode(const Text& code);

    // The Eval calls evaluate `code` as global eval code, as the language's indirect eval does:
    // `var` declarations become globals, and the value is the completion value of the last
    // statement that ran. Each asks for one kind of result.

    // Evaluates for effect; false when the code fails.
    bool Eval(const Text& code);
    // The value as text: a string unchanged, a number, boolean or object in the language's own
    // text form; empty for undefined and null.
    Text EvalText(const Text& code);
    // The value as a number: a number unchanged, a boolean as 1 or 0, a numeric string as its
    // number; 0 for anything else.
    double EvalNumber(const Text& code);
    // The value as a boolean: a boolean unchanged, a number as true unless 0 or NaN; false for
    // anything else.
    bool EvalBoolean(const Text& code);
    // Evaluates and converts the value to text, which is dropped unread.
    void EvalReleased(const Text& code);

    // Reads `jsonText` with the strict JSON parser and stores the value in the global variable
    // `name`. The text is handed over as a value and never runs as script; the read is bounded
    // by its input rather than by the time budget. False, and the variable untouched, when the
    // text is not valid JSON or does not fit in memory.
    bool ReadJson(const Text& name, const Text& jsonText);

    // The bytecode of `code` compiled as a program, for AddCompiled on engines of this process;
    // empty when the code is rejected.
    Bytes Compile(const Text& code);
    // Runs bytecode that Compile made in this process, as AddCode runs its source. Bytecode from
    // anywhere else is not checked and must never be passed.
    bool AddCompiled(const Bytes& bytecode);

    // Bytes that the engine's heap holds now.
    std::size_t MemoryUsed() const;

private:
    std::unique_ptr<Heap> heap;
};
