#include "json/engine_script.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// The script behaves alike whether it runs from its text or from the per-process bytecode.
class EngineScriptTest : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        engine = ScriptEngine::Create();
        ASSERT_NE(engine, nullptr);
        ASSERT_TRUE(GetParam() ? AddEngineScript(*engine) : engine->AddCode(EngineScript()));
    }

    std::unique_ptr<ScriptEngine> engine;
};

TEST_P(EngineScriptTest, CountsOwnMembersAndPresentElements) {
    struct Case {
        const char* name;
        Text value;
        double count;
    };
    const Case cases[] = {
        {"object of two", "({a:1, b:{c:2}})", 2}, {"empty object", "({})", 0},
        {"array of three", "[1, 'x', null]", 3},  {"empty array", "[]", 0},
        {"array with a hole", "[1,,3]", 2},       {"string", "'abc'", 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(engine->EvalNumber("get__count(" + c.value + ")"), c.count);
    }
    // The loop variable is an undeclared global that the count leaves behind.
    EXPECT_EQ(engine->EvalText("v"), "parseJSON");
}

TEST_P(EngineScriptTest, PrototypeMembersAreEnumerable) {
    EXPECT_EQ(engine->EvalText("var s=''; for (var k in {a:1}) {s=s+ k+','; }"),
              "a,toJSONString,parseJSON,");
    EXPECT_EQ(engine->EvalText("var s=''; for (var k in [7]) {s=s+ k+','; }"),
              "0,toJSONString,parseJSON,");
    EXPECT_EQ(engine->EvalText("({a:[1,'x']}).toJSONString()"), "{\"a\":[1,\"x\"]}");
    EXPECT_EQ(engine->EvalText("typeof ({}).parseJSON"), "function");
    // JSON texts carry no whitespace and only own members.
    EXPECT_EQ(engine->EvalText("JSON.stringify({b:[1, {c:'d'}], e:true})"),
              "{\"b\":[1,{\"c\":\"d\"}],\"e\":true}");
    EXPECT_EQ(engine->EvalText("JSON.parse('{\"k\":[2]}').k[0]"), "2");
}

TEST_P(EngineScriptTest, RunningTheScriptAgainKeepsOneSetOfMembers) {
    ASSERT_TRUE(AddEngineScript(*engine));
    EXPECT_EQ(engine->EvalNumber("get__count({a:1})"), 1);
    EXPECT_EQ(engine->EvalText("Object.keys(Object.prototype).join()"), "toJSONString,parseJSON");
}

INSTANTIATE_TEST_SUITE_P(Loading, EngineScriptTest, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info) {
                             return info.param ? "FromBytecode" : "FromText";
                         });

TEST(EngineScript, BeginsWithTheCountAndHoldsJson2) {
    const Text script = EngineScript();
    EXPECT_EQ(script.rfind("function get__count(c){var i=-2;for(v in c)i++;return i}", 0), 0u);
    EXPECT_NE(script.find("JSON.stringify = function (value, replacer, space)"), Text::npos);
    EXPECT_NE(script.find("Object.prototype.toJSONString ="), Text::npos);
}

}  // namespace
