#include "json/script_engine.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "duktape.h"
#include "text/codepage.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the heap's allocator and the execution-time check read: the heap's user data.
struct HeapBudget {
    std::size_t used = 0;
    std::size_t cap = 0;
    bool timed = false;
    Clock::time_point deadline;
};

// Every block starts with its size, so that reallocation and release can keep the count. The
// header keeps the block aligned as malloc's own blocks are.
constexpr std::size_t kHeaderSize = alignof(std::max_align_t);

std::size_t BlockSize(void* block) {
    std::size_t size;
    std::memcpy(&size, static_cast<char*>(block) - kHeaderSize, sizeof size);
    return size;
}

void* Finish(void* base, std::size_t size) {
    std::memcpy(base, &size, sizeof size);
    return static_cast<char*>(base) + kHeaderSize;
}

// A null result makes the engine collect garbage and try again, then fail the call.
void* Allocate(void* udata, duk_size_t size) {
    auto& budget = *static_cast<HeapBudget*>(udata);
    if (size > budget.cap - budget.used) return nullptr;
    void* base = std::malloc(kHeaderSize + size);
    if (base == nullptr) return nullptr;
    budget.used += size;
    return Finish(base, size);
}

void Release(void* udata, void* block) {
    if (block == nullptr) return;
    auto& budget = *static_cast<HeapBudget*>(udata);
    budget.used -= BlockSize(block);
    std::free(static_cast<char*>(block) - kHeaderSize);
}

void* Reallocate(void* udata, void* block, duk_size_t size) {
    if (block == nullptr) return Allocate(udata, size);
    if (size == 0) {
        Release(udata, block);
        return nullptr;
    }
    auto& budget = *static_cast<HeapBudget*>(udata);
    const std::size_t old = BlockSize(block);
    if (size > old && size - old > budget.cap - budget.used) return nullptr;
    void* base = std::realloc(static_cast<char*>(block) - kHeaderSize, kHeaderSize + size);
    if (base == nullptr) return nullptr;
    budget.used = budget.used - old + size;
    return Finish(base, size);
}

// Reached only through an error outside every protected call, which this file never makes.
void OnFatal(void*, const char*) { std::abort(); }

struct ContextCloser {
    void operator()(duk_context* context) const { duk_destroy_heap(context); }
};

// What a call asks the value to be converted to before it leaves the protected call.
enum class Want { kNothing, kText, kNumber, kBoolean };

// The arguments of a protected call. The functions that run inside one may be left by a
// longjmp, so they hold nothing that needs destruction.
struct CodeCall {
    const Text* code;
    bool program;
    Want want;
};

struct JsonCall {
    const Text* name;
    const Text* json;
};

// Replaces the value on top of the stack by undefined, the empty result of every kind.
void ReplaceByUndefined(duk_context* ctx) {
    duk_push_undefined(ctx);
    duk_replace(ctx, -2);
}

// Converts the value on top of the stack inside the protected call, where a toString that
// throws or runs too long is caught like any other error.
void Convert(duk_context* ctx, Want want) {
    switch (want) {
        case Want::kNothing:
            ReplaceByUndefined(ctx);
            return;
        case Want::kText:
            if (!duk_is_null_or_undefined(ctx, -1) && !duk_is_string(ctx, -1)) {
                duk_to_string(ctx, -1);
            }
            return;
        case Want::kNumber:
            if (duk_is_number(ctx, -1)) return;
            if (duk_is_boolean(ctx, -1)) {
                duk_push_number(ctx, duk_get_boolean(ctx, -1) ? 1 : 0);
                duk_replace(ctx, -2);
            } else if (!duk_is_string(ctx, -1) || std::isnan(duk_to_number(ctx, -1))) {
                // duk_to_number has turned a numeric string into its number in place.
                ReplaceByUndefined(ctx);
            }
            return;
        case Want::kBoolean:
            if (duk_is_boolean(ctx, -1)) return;
            if (duk_is_number(ctx, -1)) {
                duk_to_boolean(ctx, -1);
            } else {
                ReplaceByUndefined(ctx);
            }
            return;
    }
}

duk_ret_t RunCode(duk_context* ctx, void* udata) {
    const auto& call = *static_cast<const CodeCall*>(udata);
    if (call.program) {
        duk_compile_lstring(ctx, 0, call.code->data(), call.code->size());
        duk_call(ctx, 0);
    } else {
        duk_eval_lstring(ctx, call.code->data(), call.code->size());
    }
    Convert(ctx, call.want);
    return 1;
}

duk_ret_t ReadJsonValue(duk_context* ctx, void* udata) {
    const auto& call = *static_cast<const JsonCall*>(udata);
    duk_push_lstring(ctx, call.json->data(), call.json->size());
    duk_json_decode(ctx, -1);
    duk_put_global_lstring(ctx, call.name->data(), call.name->size());
    return 0;
}

duk_ret_t CompileCode(duk_context* ctx, void* udata) {
    const auto& code = *static_cast<const Text*>(udata);
    duk_compile_lstring(ctx, 0, code.data(), code.size());
    duk_dump_function(ctx);
    return 1;
}

duk_ret_t LoadCode(duk_context* ctx, void* udata) {
    const auto& bytecode = *static_cast<const Bytes*>(udata);
    void* buffer = duk_push_fixed_buffer(ctx, bytecode.size());
    std::memcpy(buffer, bytecode.data(), bytecode.size());
    duk_load_function(ctx);
    duk_call(ctx, 0);
    return 0;
}

// The 10 bits that a surrogate encoded in three bytes at `at` carries, when the bytes there
// are one whose second byte lies in [lo, hi]; -1 otherwise.
int SurrogateBits(const Text& text, std::size_t at, unsigned lo, unsigned hi) {
    if (at + 3 > text.size()) return -1;
    const auto b0 = static_cast<unsigned char>(text[at]);
    const auto b1 = static_cast<unsigned char>(text[at + 1]);
    const auto b2 = static_cast<unsigned char>(text[at + 2]);
    if (b0 != 0xED || b1 < lo || b1 > hi || (b2 & 0xC0) != 0x80) return -1;
    return static_cast<int>(((b1 & 0x0Fu) << 6) | (b2 & 0x3Fu));
}

// The engine keeps a character beyond U+FFFF that came from a \u escape as two surrogates of
// three bytes each; UTF-8 wants one sequence of four. A lone surrogate becomes U+FFFD, so that
// it reads as one unknown character rather than three malformed bytes.
Text SurrogatesToUtf8(Text text) {
    if (text.find('\xED') == Text::npos) return text;
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const int high = SurrogateBits(text, i, 0xA0, 0xAF);
        const int low = high >= 0 ? SurrogateBits(text, i + 3, 0xB0, 0xBF) : -1;
        if (high >= 0 && low >= 0) {
            const unsigned cp =
                0x10000u + (static_cast<unsigned>(high) << 10) + static_cast<unsigned>(low);
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
            i += 6;
        } else if (high >= 0 || SurrogateBits(text, i, 0xB0, 0xBF) >= 0) {
            out += "\xEF\xBF\xBD";
            i += 3;
        } else {
            out += text[i++];
        }
    }
    return out;
}

}  // namespace

// Asked by the engine's executor every so many instructions: true stops the running call.
extern "C" duk_bool_t ChengyiExecTimeoutCheck(void* udata) {
    const auto* budget = static_cast<const HeapBudget*>(udata);
    return budget != nullptr && budget->timed && Clock::now() >= budget->deadline;
}

struct ScriptEngine::Heap {
    // Declared before the context, which points at it, so that it outlives the context.
    HeapBudget budget;
    std::chrono::milliseconds timeBudget{0};
    std::unique_ptr<duk_context, ContextCloser> context;

    // Finalizers that scripts registered run as the heap ends; together they get one budget.
    ~Heap() {
        budget.deadline = Clock::now() + timeBudget;
        budget.timed = true;
        context.reset();
    }

    // Runs `body` as a protected call under the time budget with `data`, leaving its one
    // result (or the error) on the stack. True when it completed.
    bool Call(duk_safe_call_function body, void* data) {
        budget.deadline = Clock::now() + timeBudget;
        budget.timed = true;
        const duk_int_t rc = duk_safe_call(context.get(), body, data, 0, 1);
        budget.timed = false;
        return rc == DUK_EXEC_SUCCESS;
    }

    // Runs code asking for `want`; its converted value is left on the stack (undefined when the
    // call failed), for the caller to read and pop.
    bool RunCode(const Text& code, bool program, Want want) {
        const Text utf8 = GbkToUtf8(code);
        CodeCall call{&utf8, program, want};
        if (Call(::RunCode, &call)) return true;
        ReplaceByUndefined(context.get());
        return false;
    }

    void Pop() { duk_pop(context.get()); }
};

ScriptEngine::ScriptEngine(Token, std::unique_ptr<Heap> heap) : heap(std::move(heap)) {}

ScriptEngine::~ScriptEngine() = default;

std::unique_ptr<ScriptEngine> ScriptEngine::Create(const ScriptLimits& limits) {
    auto heap = std::make_unique<Heap>();
    heap->budget.cap = limits.memoryCap;
    heap->timeBudget = limits.timeBudget;
    heap->context.reset(duk_create_heap(Allocate, Reallocate, Release, &heap->budget, OnFatal));
    if (!heap->context) return nullptr;
    return std::make_unique<ScriptEngine>(Token(), std::move(heap));
}

bool ScriptEngine::AddCode(const Text& code) {
    const bool ok = heap->RunCode(code, true, Want::kNothing);
    heap->Pop();
    return ok;
}

bool ScriptEngine::Eval(const Text& code) {
    const bool ok = heap->RunCode(code, false, Want::kNothing);
    heap->Pop();
    return ok;
}

Text ScriptEngine::EvalText(const Text& code) {
    heap->RunCode(code, false, Want::kText);
    duk_context* ctx = heap->context.get();
    Text result;
    duk_size_t size = 0;
    if (const char* bytes = duk_get_lstring(ctx, -1, &size)) {
        result = Utf8ToGbk(SurrogatesToUtf8(Text(bytes, size)));
    }
    heap->Pop();
    return result;
}

double ScriptEngine::EvalNumber(const Text& code) {
    heap->RunCode(code, false, Want::kNumber);
    duk_context* ctx = heap->context.get();
    const double result = duk_is_number(ctx, -1) ? duk_get_number(ctx, -1) : 0;
    heap->Pop();
    return result;
}

bool ScriptEngine::EvalBoolean(const Text& code) {
    heap->RunCode(code, false, Want::kBoolean);
    const bool result = duk_get_boolean(heap->context.get(), -1) != 0;
    heap->Pop();
    return result;
}

void ScriptEngine::EvalReleased(const Text& code) {
    heap->RunCode(code, false, Want::kText);
    heap->Pop();
}

bool ScriptEngine::ReadJson(const Text& name, const Text& jsonText) {
    const Text utf8Name = GbkToUtf8(name);
    const Text utf8Json = GbkToUtf8(jsonText);
    JsonCall call{&utf8Name, &utf8Json};
    const bool ok = heap->Call(ReadJsonValue, &call);
    heap->Pop();
    return ok;
}

Bytes ScriptEngine::Compile(const Text& code) {
    const Text utf8 = GbkToUtf8(code);
    Bytes bytecode;
    if (heap->Call(CompileCode, const_cast<Text*>(&utf8))) {
        duk_size_t size = 0;
        const auto* data =
            static_cast<const std::uint8_t*>(duk_get_buffer_data(heap->context.get(), -1, &size));
        if (data != nullptr) bytecode.assign(data, data + size);
    }
    heap->Pop();
    return bytecode;
}

bool ScriptEngine::AddCompiled(const Bytes& bytecode) {
    if (bytecode.empty()) return false;
    const bool ok = heap->Call(LoadCode, const_cast<Bytes*>(&bytecode));
    heap->Pop();
    return ok;
}

std::size_t ScriptEngine::MemoryUsed() const { return heap->budget.used; }
