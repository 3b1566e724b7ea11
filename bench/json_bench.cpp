// Costs of the JSON object: creating an engine with its script, and reading a reply.
//
// Engine creation is measured with the engine script compiled from its text and loaded from the
// per-process bytecode. Parse + GetText("str") is compared with the obvious baseline, a bare
// Duktape JSON.parse of the same reply (already in UTF-8) on one long-lived heap, reading the
// same member; the JsonObject side also pays for a fresh engine per Parse and for the GBK
// conversions both ways.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "duktape.h"
#include "json/engine_script.h"
#include "json/json_object.h"
#include "json/script_engine.h"
#include "text/codepage.h"

namespace {

// GBK bytes of the characters 中 and 文.
const Text kChinese = "\xD6\xD0\xCE\xC4";

// A reply of about `size` bytes, shaped as the service's: the rewritten text in "str" (ASCII
// with GBK characters spread through it) and a short "ck".
Text MakeReply(std::size_t size) {
    Text str;
    while (str.size() + 40 < size) str += "rewritten text, line " + kChinese + "\\n";
    return "{\"ck\":\"" + kChinese + " 98%\",\"str\":\"" + str + "\"}";
}

void EngineWithScriptText(benchmark::State& state) {
    const Text script = EngineScript();
    for (auto _ : state) {
        auto engine = ScriptEngine::Create();
        engine->AddCode(script);
        engine->Eval("var da={}");
        benchmark::DoNotOptimize(engine.get());
    }
}

void EngineWithScriptBytecode(benchmark::State& state) {
    for (auto _ : state) {
        auto engine = ScriptEngine::Create();
        AddEngineScript(*engine);
        engine->Eval("var da={}");
        benchmark::DoNotOptimize(engine.get());
    }
}

// The heap alone, without any script: the floor under both of the above.
void EngineWithoutScript(benchmark::State& state) {
    for (auto _ : state) {
        auto engine = ScriptEngine::Create();
        benchmark::DoNotOptimize(engine.get());
    }
}

void ConstructJsonObject(benchmark::State& state) {
    for (auto _ : state) {
        JsonObject object;
        benchmark::DoNotOptimize(&object);
    }
}

void ParseAndGetText(benchmark::State& state) {
    const Text reply = MakeReply(static_cast<std::size_t>(state.range(0)));
    JsonObject object;
    for (auto _ : state) {
        object.Parse(reply);
        Text str = object.GetText("str");
        benchmark::DoNotOptimize(str.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * reply.size()));
}

struct HeapCloser {
    void operator()(duk_context* context) const { duk_destroy_heap(context); }
};

duk_ret_t ParseAndRead(duk_context* ctx, void*) {
    duk_json_decode(ctx, -1);
    duk_get_prop_string(ctx, -1, "str");
    duk_require_string(ctx, -1);
    return 1;
}

void BareDuktapeJsonParse(benchmark::State& state) {
    const Text utf8 = GbkToUtf8(MakeReply(static_cast<std::size_t>(state.range(0))));
    std::unique_ptr<duk_context, HeapCloser> heap(duk_create_heap_default());
    duk_context* ctx = heap.get();
    for (auto _ : state) {
        duk_push_lstring(ctx, utf8.data(), utf8.size());
        if (duk_safe_call(ctx, ParseAndRead, nullptr, 1, 1) != DUK_EXEC_SUCCESS) {
            state.SkipWithError("the reply did not parse");
        }
        duk_size_t size = 0;
        benchmark::DoNotOptimize(duk_get_lstring(ctx, -1, &size));
        duk_pop(ctx);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * utf8.size()));
}

constexpr int kRepetitions = 10;

BENCHMARK(EngineWithScriptText)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(EngineWithScriptBytecode)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(EngineWithoutScript)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(ConstructJsonObject)->Unit(benchmark::kMicrosecond)->Repetitions(kRepetitions);
BENCHMARK(ParseAndGetText)
    ->Arg(1 << 10)
    ->Arg(100 << 10)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(kRepetitions);
BENCHMARK(BareDuktapeJsonParse)
    ->Arg(1 << 10)
    ->Arg(100 << 10)
    ->Arg(10 << 20)
    ->Unit(benchmark::kMicrosecond)
    ->Repetitions(kRepetitions);

}  // namespace

BENCHMARK_MAIN();
