#include "json/script_engine.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using std::chrono::milliseconds;

// GBK bytes of the characters 中 and 文.
const Text kZhong = "\xD6\xD0";
const Text kWen = "\xCE\xC4";

std::unique_ptr<ScriptEngine> NewEngine(const ScriptLimits& limits = ScriptLimits()) {
    auto engine = ScriptEngine::Create(limits);
    EXPECT_NE(engine, nullptr);
    return engine;
}

TEST(ScriptEngine, ResultKinds) {
    struct Case {
        const char* name;
        Text code;
        Text text;
        double number;
        bool boolean;
    };
    const Case cases[] = {
        {"string", "'abc'", "abc", 0, false},
        {"empty string", "''", "", 0, false},
        {"numeric string", "' 12.5 '", " 12.5 ", 12.5, false},
        {"integer", "100", "100", 100, true},
        {"fraction", "1/4", "0.25", 0.25, true},
        {"zero", "0", "0", 0, false},
        {"NaN number", "0/0", "NaN", std::nan(""), false},
        {"true", "1 < 2", "true", 1, true},
        {"false", "1 > 2", "false", 0, false},
        {"null", "null", "", 0, false},
        {"undefined", "void 0", "", 0, false},
        {"object", "({a:1})", "[object Object]", 0, false},
        {"array", "[1,'x']", "1,x", 0, false},
        {"function", "(function f(){})", "function f() { [ecmascript code] }", 0, false},
        {"syntax error", "1 +", "", 0, false},
        {"throws", "throw 'x'", "", 0, false},
        {"reference error", "noSuchName.member", "", 0, false},
        {"throwing toString", "({toString:function(){throw 1}})", "", 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = NewEngine();
        EXPECT_EQ(engine->EvalText(c.code), c.text);
        const double number = engine->EvalNumber(c.code);
        if (std::isnan(c.number)) {
            EXPECT_TRUE(std::isnan(number));
        } else {
            EXPECT_EQ(number, c.number);
        }
        EXPECT_EQ(engine->EvalBoolean(c.code), c.boolean);
    }
}

TEST(ScriptEngine, EvalRunsAsGlobalEvalCode) {
    auto engine = NewEngine();
    // Declarations stay in the global scope for later calls.
    EXPECT_TRUE(engine->Eval("var x = 2; function twice(n) { return 2 * n }"));
    EXPECT_EQ(engine->EvalNumber("twice(x)"), 4);
    EXPECT_EQ(engine->EvalText("typeof this.x"), "number");

    // The value is the completion value of the last statement that ran.
    struct Case {
        const char* name;
        Text code;
        Text expected;
    };
    const Case cases[] = {
        {"statement list", "var a = 1; a + 1; a + 2", "3"},
        {"for-in loop", "var s=''; for (var k in {p:1, q:2}) {s=s+ k+','; }", "p,q,"},
        {"empty for-in loop", "var s=''; for (var k in {}) {s=s+ k+','; }", ""},
        {"if statement", "if (x == 2) { 'yes' } else { 'no' }", "yes"},
        {"var declaration alone", "var y = 5", ""},
        {"assignment", "x = 'assigned'", "assigned"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(engine->EvalText(c.code), c.expected);
    }
    EXPECT_EQ(engine->EvalText("y"), "5");

    EXPECT_FALSE(engine->Eval("this is no script"));
    EXPECT_FALSE(engine->Eval("throw new Error('x')"));
    EXPECT_EQ(engine->EvalText("x"), "assigned");
}

TEST(ScriptEngine, AddCodeDeclaresGlobals) {
    auto engine = NewEngine();
    EXPECT_TRUE(engine->AddCode("var total = 3; function add(n) { total += n; return total }"));
    EXPECT_EQ(engine->EvalNumber("add(4)"), 7);
    EXPECT_FALSE(engine->AddCode("var broken = ;"));
    EXPECT_FALSE(engine->AddCode("total = 10; throw 1"));
    EXPECT_EQ(engine->EvalNumber("total"), 10);  // what ran before the throw stays
}

TEST(ScriptEngine, EnginesShareNothing) {
    auto first = NewEngine();
    auto second = NewEngine();
    first->Eval("var shared = 'first'");
    EXPECT_EQ(second->EvalText("typeof shared"), "undefined");
}

TEST(ScriptEngine, TextsCrossAsGbk) {
    auto engine = NewEngine();
    struct Case {
        const char* name;
        Text code;
        Text expected;
    };
    const Case cases[] = {
        {"GBK literal", "'" + kZhong + kWen + "'", kZhong + kWen},
        // Two characters inside the engine, not four bytes.
        {"GBK length", "'" + kZhong + kWen + "'.length", "2"},
        {"escape of a GBK character", "'\\u4e2d'", kZhong},
        // A character that GBK lacks comes back as one "?", also beyond U+FFFF.
        {"missing from GBK", "'a\\u0E01b'", "a?b"},
        {"beyond U+FFFF", "'a\\ud83d\\ude00b'", "a?b"},
        {"lone surrogate", "'a\\ud800b'", "a?b"},
        // A text ends at its first NUL.
        {"NUL inside", "'a\\u0000b'", "a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(engine->EvalText(c.code), c.expected);
    }
    // Code is read up to its first NUL as well.
    EXPECT_EQ(engine->EvalText(Text("'ab'\0 + 'cd'", 12)), "ab");
}

// Runaway scripts stop at the time budget as an error; the next call gets a budget of its own.
TEST(ScriptEngine, TimeBudgetStopsRunawayScript) {
    const ScriptLimits limits{milliseconds(100), ScriptLimits().memoryCap};
    struct Case {
        const char* name;
        bool (*run)(ScriptEngine&);
    };
    const Case cases[] = {
        {"endless loop", [](ScriptEngine& e) { return e.Eval("while(1){}"); }},
        {"loop that catches the error",
         [](ScriptEngine& e) { return e.Eval("while(1){try{while(1){}}catch(x){}}"); }},
        {"endless loop in a finally",
         [](ScriptEngine& e) { return e.Eval("try { while(1){} } finally { while(1){} }"); }},
        {"endless toString of a text result",
         [](ScriptEngine& e) {
             return !e.EvalText("({toString:function(){while(1){}}})").empty();
         }},
        {"program code", [](ScriptEngine& e) { return e.AddCode("for(;;){}"); }},
        {"endless tail calls",
         [](ScriptEngine& e) { return e.Eval("function h(){return h()} h()"); }},
        {"endless loop in compiled code",
         [](ScriptEngine& e) { return e.AddCompiled(e.Compile("while(1){}")); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = NewEngine(limits);
        EXPECT_FALSE(c.run(*engine));
        EXPECT_TRUE(engine->Eval("var n = 0; for (var i = 0; i < 10000; i++) n += i"));
        EXPECT_EQ(engine->EvalNumber("n"), 49995000);
    }
}

TEST(ScriptEngine, FinalizersRunUnderTheBudget) {
    auto engine = NewEngine(ScriptLimits{milliseconds(100), ScriptLimits().memoryCap});
    // A finalizer that runs during a call is stopped with the call.
    EXPECT_TRUE(
        engine->Eval("var ran = 0; Duktape.fin(this.a = {}, function () { ran = 1 });"
                     "a = null; ran"));
    EXPECT_EQ(engine->EvalNumber("ran"), 1);
    EXPECT_FALSE(
        engine->Eval("Duktape.fin(this.b = {}, function () { while (1) {} }); b = null;"
                     "while (1) {}"));
    EXPECT_EQ(engine->EvalText("'after'"), "after");
    // One that is left for the end of the heap is stopped there.
    EXPECT_TRUE(engine->Eval("var kept = {}; Duktape.fin(kept, function () { while (1) {} })"));
    engine.reset();
}

TEST(ScriptEngine, MemoryCapStopsRunawayAllocation) {
    const std::size_t cap = 8 << 20;
    const ScriptLimits limits{milliseconds(10000), cap};
    struct Case {
        const char* name;
        Text code;
    };
    const Case cases[] = {
        {"array growing without end", "var a=[];while(1)a.push(a.length)"},
        {"objects without end", "var a=[];while(1)a.push({k:a.length})"},
        {"one large string", "var a='x'.repeat(16777216)"},
        {"string doubling", "var a='x';while(1)a=a+a"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = NewEngine(limits);
        EXPECT_FALSE(engine->Eval(c.code));
        EXPECT_LE(engine->MemoryUsed(), cap);
        // Once the script's garbage is dropped the engine works as before.
        engine->Eval("a = null");
        EXPECT_EQ(engine->EvalText("new Array(1000).join('y').length"), "999");
    }
    // A cap below what an empty heap needs leaves no engine at all.
    EXPECT_EQ(ScriptEngine::Create(ScriptLimits{milliseconds(1000), 1024}), nullptr);
}

TEST(ScriptEngine, MemoryIsGivenBack) {
    auto engine = NewEngine();
    const std::size_t before = engine->MemoryUsed();
    EXPECT_GT(before, 0u);
    engine->Eval("var big = new Array(100001).join('z')");
    EXPECT_GE(engine->MemoryUsed(), before + 100000);
    engine->Eval("big = null; Duktape.gc()");
    EXPECT_LT(engine->MemoryUsed(), before + 100000);
}

TEST(ScriptEngine, ReadJsonTakesTextAsData) {
    struct Case {
        const char* name;
        Text json;
        bool ok;
        Text value;  // JSON.stringify of the global afterwards
    };
    const Case cases[] = {
        {"object", "{\"a\":[1,2.5,\"x\"],\"b\":null}", true, "{\"a\":[1,2.5,\"x\"],\"b\":null}"},
        {"whitespace around", " \r\n{ \"a\" : 1 }\t", true, "{\"a\":1}"},
        {"string", "\"s\"", true, "\"s\""},
        {"null", "null", true, "null"},
        {"GBK text", "[\"" + kZhong + "\"]", true, "[\"" + kZhong + "\"]"},
        {"escapes", "\"\\u0000\\u2028\\n\"", true, "\"\\u0000\\u2028\\n\""},
        {"single quotes", "{'a':1}", false, "\"untouched\""},
        {"bare member name", "{a:1}", false, "\"untouched\""},
        {"call", "{\"a\":touch()}", false, "\"untouched\""},
        {"code", "(function(){touched=1})()", false, "\"untouched\""},
        {"trailing text", "{} {}", false, "\"untouched\""},
        {"empty", "", false, "\"untouched\""},
        {"deep nesting", std::string(100000, '[') + std::string(100000, ']'), false,
         "\"untouched\""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto engine = NewEngine();
        engine->Eval("var v = 'untouched', touched = 0; function touch() { touched = 1 }");
        EXPECT_EQ(engine->ReadJson("v", c.json), c.ok);
        EXPECT_EQ(engine->EvalText("JSON.stringify(v)"), c.value);
        EXPECT_EQ(engine->EvalNumber("touched"), 0);
    }
}

TEST(ScriptEngine, CompiledCodeRunsInOtherEngines) {
    auto compiler = NewEngine();
    const Bytes bytecode =
        compiler->Compile("var base = 40; function answer() { return base + 2 }");
    ASSERT_FALSE(bytecode.empty());
    EXPECT_EQ(compiler->EvalText("typeof answer"), "undefined");  // compiled, not run

    auto engine = NewEngine();
    EXPECT_TRUE(engine->AddCompiled(bytecode));
    EXPECT_EQ(engine->EvalNumber("answer()"), 42);

    EXPECT_TRUE(compiler->Compile("var = ;").empty());
    EXPECT_FALSE(engine->AddCompiled(Bytes()));
    EXPECT_FALSE(engine->AddCompiled(compiler->Compile("throw 1")));
}

// Nesting far beyond any real reply fails as an error rather than exhausting the C stack, here
// on a thread with the default stack size as every batch worker has.
TEST(ScriptEngine, DeepNestingFailsCleanly) {
    const int depth = 100000;
    struct Case {
        const char* name;
        Text code;
    };
    const std::vector<Case> cases = {
        {"brackets", std::string(depth, '[') + std::string(depth, ']')},
        {"object literals",
         [&] {
             std::string s;
             for (int i = 0; i < depth; ++i) s += "{a:";
             return s + "1" + std::string(depth, '}');
         }()},
        {"parentheses", std::string(depth, '(') + "1" + std::string(depth, ')')},
        {"regular expression groups",
         "/" + std::string(depth, '(') + std::string(depth, ')') + "/"},
        {"native recursion", "function g() { return [1].map(g) } g()"},
        {"toString recursion", "var o = {toString: function () { return String(o) }}; String(o)"},
        {"JSON of a deep array",
         "var x = []; for (var i = 0; i < 100000; i++) x = [x]; "
         "JSON.stringify(x)"},
    };
    std::thread worker([&] {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            auto engine = NewEngine();
            EXPECT_FALSE(engine->Eval(c.code));
            EXPECT_EQ(engine->EvalText("'still' + ' here'"), "still here");
        }
    });
    worker.join();
}

}  // namespace
