#include "json/json_object.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

// GBK bytes of the characters 中 and 文.
const Text kZhong = "\xD6\xD0";
const Text kWen = "\xCE\xC4";

// A reply with one member of every kind.
const Text kReply = "{\"str\":\"hello\",\"ck\":\"" + kZhong + kWen +
                    "\",\"third\":0.333333333333333,\"tenth\":0.1,\"hundred\":100,\"huge\":1e21,"
                    "\"tiny\":-2.5e-8,\"nothing\":null,\"yes\":true,\"list\":[1,\"two\",{\"x\":3}],"
                    "\"obj\":{\"a\":1,\"b\":\"B\"},\"empty\":{},\"quote\":\"it's\"}";

// An object that could create no engine.
class ObjectWithoutEngine : public JsonObject {
public:
    ObjectWithoutEngine() : JsonObject(ScriptLimits{std::chrono::milliseconds(1000), 1024}) {}
};

JsonObject Parsed(const Text& json) {
    JsonObject object;
    EXPECT_TRUE(object.Parse(json)) << json;
    return object;
}

TEST(JsonObject, NewObjectHoldsAnEmptyObject) {
    JsonObject object;
    EXPECT_EQ(object.ToJson(), "{}");
    EXPECT_EQ(object.GetText("str"), "");
    EXPECT_EQ(object.GetType("str"), 0);
    EXPECT_EQ(object.GetType(), 4);
    EXPECT_EQ(object.Count(), 0);
    TextArray names = {"stale"};
    EXPECT_EQ(object.GetMemberNames(names), 0);
    EXPECT_TRUE(names.empty());
}

TEST(JsonObject, ParseResults) {
    struct Case {
        const char* name;
        Text json;
        bool ok;
        Text toJson;
    };
    const Case cases[] = {
        {"object", "{\"a\":1}", true, "{\"a\":1}"},
        {"empty object", "{}", true, "{}"},
        {"number", "42", true, "42"},
        {"array", "[1,[2]]", true, "[1,[2]]"},
        {"string", "\"text\"", true, "\"text\""},
        {"null", "null", false, "null"},
        {"not an expression", "{\"a\":", false, "null"},
        {"empty", "", false, "null"},
        // Lenient object syntax still parses, as script.
        {"single quotes", "{'a':'x'}", true, "{\"a\":\"x\"}"},
        {"bare member names", "{a:1, b:[true]}", true, "{\"a\":1,\"b\":[true]}"},
        {"trailing comma", "{\"a\":1,}", true, "{\"a\":1}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JsonObject object;
        EXPECT_EQ(object.Parse(c.json), c.ok);
        EXPECT_EQ(object.ToJson(), c.toJson);
    }
}

TEST(JsonObject, FailedParseLeavesNull) {
    JsonObject object;
    object.SetText("str", "before");
    EXPECT_FALSE(object.Parse("no json at all"));
    EXPECT_EQ(object.GetText("str"), "");
    EXPECT_EQ(object.GetType("str"), -1);
    EXPECT_EQ(object.GetType(), 0);
    EXPECT_FALSE(object.HasMember("str"));
}

TEST(JsonObject, ParseStartsFromAFreshEngine) {
    JsonObject object;
    object.SetText("written", "x");
    object.SetJson("unused", "leftover = 1");
    EXPECT_TRUE(object.Parse("{\"a\":1}"));
    EXPECT_FALSE(object.HasMember("written"));
    EXPECT_EQ(object.ToJson(), "{\"a\":1}");
    object.SetValue("typeof leftover", true);
    EXPECT_EQ(object.ToJson(), "\"undefined\"");
}

TEST(JsonObject, ReadsOfAParsedReply) {
    const JsonObject object = Parsed(kReply);
    struct Case {
        const char* member;
        Text text;
        int type;
        bool has;
    };
    const Case cases[] = {
        {"str", "hello", 6, true},
        {"ck", kZhong + kWen, 6, true},
        {"quote", "it's", 6, true},
        {"third", "0.3333333333333", 2, true},
        {"tenth", "0.1", 2, true},
        {"hundred", "100", 2, true},
        {"huge", "1e+21", 2, true},
        {"tiny", "-2.5e-08", 2, true},
        {"nothing", "", 0, false},
        {"missing", "", 0, false},
        {"missing.child", "", -1, false},
        {"yes", "true", -1, true},
        {"list", "1,two,[object Object]", 5, true},
        {"list[1]", "two", 6, true},
        {"list[2].x", "3", 2, true},
        {"obj", "[object Object]", 4, true},
        {"obj.b", "B", 6, true},
        {"empty", "[object Object]", 4, true},
        {"", "", 4, false},  // the whole value, read as "da." by the dotted operations
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.member);
        EXPECT_EQ(object.GetText(c.member), c.text);
        EXPECT_EQ(object.GetType(c.member), c.type);
        EXPECT_EQ(object.HasMember(c.member), c.has);
    }
}

TEST(JsonObject, JsonAndNumberReads) {
    const JsonObject object = Parsed(kReply);
    EXPECT_EQ(object.GetText("obj", true), "{\"a\":1,\"b\":\"B\"}");
    EXPECT_EQ(object.GetText("str", true), "\"hello\"");
    EXPECT_EQ(object.GetText("missing", true), "");
    EXPECT_EQ(object.GetJson("list"), "[1,\"two\",{\"x\":3}]");
    EXPECT_EQ(object.GetJson("missing.child"), "");
    EXPECT_EQ(object.GetNumber("tenth"), 0.1);
    EXPECT_EQ(object.GetNumber("yes"), 1);
    EXPECT_EQ(object.GetNumber("str"), 0);
    EXPECT_EQ(object.GetNumber("missing"), 0);
    EXPECT_EQ(object.ToJson().substr(0, 16), "{\"str\":\"hello\",\"");
}

TEST(JsonObject, MembersBeginningWithABracket) {
    const JsonObject array = Parsed("[\"zero\",{\"k\":\"v\"},[1,2,3]]");
    EXPECT_EQ(array.GetText("[0]"), "zero");
    EXPECT_EQ(array.GetText("[1].k"), "v");
    EXPECT_EQ(array.GetText("[1]", true), "{\"k\":\"v\"}");
    EXPECT_EQ(array.Count("[2]"), 3);
    EXPECT_EQ(array.GetObject("[1]").GetText("k"), "v");
    // The other operations put a dot before every member, which the engine rejects here.
    EXPECT_EQ(array.GetType("[0]"), -1);
    EXPECT_FALSE(array.HasMember("[0]"));
    EXPECT_EQ(array.GetJson("[0]"), "");
}

TEST(JsonObject, Counts) {
    const JsonObject object = Parsed(kReply);
    struct Case {
        const char* member;
        int count;
    };
    const Case cases[] = {
        {"obj", 2},     {"list", 3},          {"empty", 0}, {"list[2]", 1},
        {"", 13},       {"str", 5},  // the characters of a string
        {"missing", 0}, {"missing.child", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.member);
        EXPECT_EQ(object.Count(c.member), c.count);
    }
    EXPECT_EQ(Parsed("[]").Count(), 0);
    EXPECT_EQ(Parsed("[1,2,3]").Count(), 3);
}

TEST(JsonObject, MemberNames) {
    struct Case {
        const char* name;
        Text json;
        Text member;
        TextArray names;
    };
    const Case cases[] = {
        {"object", "{\"a\":1,\"b\":2}", "", {"a", "b"}},
        {"member object", "{\"o\":{\"x\":1,\"y\":{\"z\":2}}}", "o", {"x", "y"}},
        {"array", "[5,6]", "", {"0", "1"}},
        {"empty object", "{}", "", {}},
        {"GBK names", "{\"" + kZhong + "\":1,\"" + kWen + "\":2}", "", {kZhong, kWen}},
        // Names that merely contain the inherited ones stay whole.
        {"look-alike names",
         "{\"xparseJSON\":1,\"toJSONStringy\":2}",
         "",
         {"xparseJSON", "toJSONStringy"}},
        {"missing member", "{}", "missing.child", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const JsonObject object = Parsed(c.json);
        TextArray names = {"stale"};
        EXPECT_EQ(object.GetMemberNames(names, c.member), static_cast<int>(c.names.size()));
        EXPECT_EQ(names, c.names);
        EXPECT_EQ(object.GetText("ary"), "");  // the scratch list is dropped
    }
}

TEST(JsonObject, WholeValueTypes) {
    struct Case {
        Text json;
        int type;
    };
    const Case cases[] = {
        {"{}", 4}, {"[]", 5}, {"\"s\"", 6}, {"1.5", 2}, {"true", -1}, {"null", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.json);
        JsonObject object;
        object.Parse(c.json);
        EXPECT_EQ(object.GetType(), c.type);
    }
}

TEST(JsonObject, Writes) {
    struct Case {
        const char* name;
        Text start;  // parsed first
        std::function<void(JsonObject&)> write;
        Text json;  // the whole value afterwards
    };
    const Case cases[] = {
        {"SetText", "{}", [](JsonObject& o) { o.SetText("m", "v"); }, "{\"m\":\"v\"}"},
        {"SetText GBK", "{}", [](JsonObject& o) { o.SetText("m", kZhong); },
         "{\"m\":\"" + kZhong + "\"}"},
        {"SetText quote", "{\"m\":1}", [](JsonObject& o) { o.SetText("m", "it's"); }, "{\"m\":1}"},
        {"SetText as JSON", "{}", [](JsonObject& o) { o.SetText("m", "[1,{\"a\":2}]", true); },
         "{\"m\":[1,{\"a\":2}]}"},
        {"SetText empty JSON", "{}", [](JsonObject& o) { o.SetText("m", "", true); }, "{\"m\":{}}"},
        {"SetText nested", "{\"o\":{}}", [](JsonObject& o) { o.SetText("o.p", "q"); },
         "{\"o\":{\"p\":\"q\"}}"},
        {"SetText under missing parent", "{}", [](JsonObject& o) { o.SetText("x.y", "q"); }, "{}"},
        {"SetJson", "{}", [](JsonObject& o) { o.SetJson("m", "{\"a\":[true]}"); },
         "{\"m\":{\"a\":[true]}}"},
        {"SetJson empty", "{\"m\":1}", [](JsonObject& o) { o.SetJson("m", ""); }, "{}"},
        {"SetNumber", "{}", [](JsonObject& o) { o.SetNumber("m", 1.0 / 3); },
         "{\"m\":0.3333333333333}"},
        {"SetNumber large", "{}", [](JsonObject& o) { o.SetNumber("m", -1.5e300); },
         "{\"m\":-1.5e+300}"},
        {"Append to object value", "{\"a\":1}", [](JsonObject& o) { o.Append("x"); }, "[\"x\"]"},
        {"Append to array value", "[1]", [](JsonObject& o) { o.Append("2", "", true); }, "[1,2]"},
        {"Append to member array", "{\"l\":[\"a\"]}", [](JsonObject& o) { o.Append("b", "l"); },
         "{\"l\":[\"a\",\"b\"]}"},
        {"Append to non-array member", "{\"l\":{\"k\":1}}",
         [](JsonObject& o) { o.Append("{\"n\":1}", "l", true); }, "{\"l\":[{\"n\":1}]}"},
        {"Append to missing member", "{}", [](JsonObject& o) { o.Append("v", "l"); },
         "{\"l\":[\"v\"]}"},
        {"SetElement", "[1,2]", [](JsonObject& o) { o.SetElement(1, "b"); }, "[1,\"b\"]"},
        {"SetElement past the end", "[]", [](JsonObject& o) { o.SetElement(2, "null", true); },
         "[null,null,null]"},
        {"RemoveElement", "[1,2,3]", [](JsonObject& o) { o.RemoveElement(1); }, "[1,3]"},
        {"RemoveElement missing", "[1]", [](JsonObject& o) { o.RemoveElement(5); }, "[1]"},
        {"RemoveMember", "{\"a\":1,\"b\":2}", [](JsonObject& o) { o.RemoveMember("a"); },
         "{\"b\":2}"},
        {"Reset 0", "[1]", [](JsonObject& o) { o.Reset(0); }, "{}"},
        {"Reset 4", "[1]", [](JsonObject& o) { o.Reset(4); }, "{}"},
        {"Reset 5", "{\"a\":1}", [](JsonObject& o) { o.Reset(5); }, "[]"},
        {"Reset 6", "{\"a\":1}", [](JsonObject& o) { o.Reset(6); }, "{\"a\":1}"},
        {"Reset -1", "{\"a\":1}", [](JsonObject& o) { o.Reset(-1); }, "{\"a\":1}"},
        {"SetValue", "{}", [](JsonObject& o) { o.SetValue("abc"); }, "\"abc\""},
        {"SetValue raw", "{}", [](JsonObject& o) { o.SetValue("[1,{}]", true); }, "[1,{}]"},
        {"SetValue quote", "{\"a\":1}", [](JsonObject& o) { o.SetValue("'"); }, "{\"a\":1}"},
        {"Clear", "{\"a\":[1]}", [](JsonObject& o) { o.Clear(); }, "{}"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JsonObject object = Parsed(c.start);
        c.write(object);
        EXPECT_EQ(object.ToJson(), c.json);
    }
}

TEST(JsonObject, SetJsonEmptyMakesMemberUndefined) {
    JsonObject object;
    object.SetText("m", "", true);
    EXPECT_TRUE(object.HasMember("m"));
    EXPECT_EQ(object.GetType("m"), 4);
    object.SetJson("m", "");
    EXPECT_FALSE(object.HasMember("m"));
    EXPECT_EQ(object.GetType("m"), 0);
}

TEST(JsonObject, Elements) {
    const JsonObject object = Parsed("{\"l\":[\"a\",{\"k\":[7]},2.5],\"top\":1}");
    EXPECT_EQ(object.GetElementText(0, "l"), "a");
    EXPECT_EQ(object.GetElementText(2, "l"), "2.5");
    EXPECT_EQ(object.GetElementText(1, "l", true), "{\"k\":[7]}");
    EXPECT_EQ(object.GetElementText(9, "l"), "");
    EXPECT_EQ(object.GetElementText(-1, "l"), "");
    EXPECT_EQ(object.GetElementText(0), "");  // the whole value is no array

    const JsonObject element = object.GetElementObject(1, "l");
    EXPECT_EQ(element.ToJson(), "{\"k\":[7]}");
    EXPECT_EQ(element.Count("k"), 1);
    EXPECT_EQ(Parsed("[[1,2]]").GetElementObject(0).ToJson(), "[1,2]");
}

TEST(JsonObject, GetObjectIsIndependent) {
    JsonObject source = Parsed("{\"o\":{\"a\":1,\"f\":null},\"s\":\"x\"}");
    JsonObject part = source.GetObject("o");
    EXPECT_EQ(part.ToJson(), "{\"a\":1,\"f\":null}");
    part.SetText("a", "changed");
    source.SetText("o.b", "added");
    EXPECT_EQ(source.GetText("o.a"), "1");
    EXPECT_FALSE(part.HasMember("b"));

    EXPECT_EQ(source.GetObject("s").ToJson(), "\"x\"");
    // A missing member gives an object that holds no value.
    JsonObject missing = source.GetObject("missing");
    EXPECT_EQ(missing.ToJson(), "null");
    EXPECT_EQ(missing.GetType(), 0);
    // Functions do not survive the trip through JSON text.
    source.SetJson("o.f", "(function () { return 1 })");
    EXPECT_EQ(source.GetObject("o").ToJson(), "{\"a\":1,\"b\":\"added\"}");
}

TEST(JsonObject, CopiesShareTheEngineUntilParse) {
    JsonObject original = Parsed("{\"a\":\"1\"}");
    JsonObject copy(original);
    copy.SetText("b", "from copy");
    EXPECT_EQ(original.GetText("b"), "from copy");
    original.SetText("c", "from original");
    EXPECT_EQ(copy.GetText("c"), "from original");

    JsonObject assigned;
    assigned = original;
    EXPECT_EQ(assigned.GetText("b"), "from copy");

    EXPECT_TRUE(copy.Parse("{\"fresh\":true}"));
    EXPECT_EQ(original.GetText("b"), "from copy");
    EXPECT_FALSE(original.HasMember("fresh"));
    copy.SetText("d", "only copy");
    EXPECT_FALSE(original.HasMember("d"));
    EXPECT_EQ(assigned.GetText("c"), "from original");  // still shares with the original

    // The engine lives as long as any handle does.
    JsonObject survivor = [] {
        JsonObject temporary = Parsed("{\"kept\":\"yes\"}");
        return JsonObject(temporary);
    }();
    EXPECT_EQ(survivor.GetText("kept"), "yes");
}

TEST(JsonObject, CreateEngineStartsOverWithAnEmptyObject) {
    JsonObject object = Parsed("{\"a\":1}");
    JsonObject copy(object);
    object.CreateEngine();
    EXPECT_EQ(object.ToJson(), "{}");
    EXPECT_EQ(copy.ToJson(), "{\"a\":1}");
}

TEST(JsonObject, WithoutAnEngineEveryCallIsEmpty) {
    ObjectWithoutEngine object;
    EXPECT_FALSE(object.Parse("{\"str\":\"x\"}"));
    EXPECT_EQ(object.ToJson(), "");
    EXPECT_EQ(object.GetText("str"), "");
    EXPECT_EQ(object.GetText("str", true), "");
    EXPECT_EQ(object.GetType(), -1);
    EXPECT_EQ(object.Count(), 0);
    EXPECT_FALSE(object.HasMember("str"));
    TextArray names = {"stale"};
    EXPECT_EQ(object.GetMemberNames(names), 0);
    EXPECT_TRUE(names.empty());
    object.SetText("str", "x");
    object.Append("x");
    object.Clear();
    object.CreateEngine();
    EXPECT_EQ(object.GetText("str"), "");
    EXPECT_EQ(object.GetObject("str").ToJson(), "");
    JsonObject copy(object);
    EXPECT_FALSE(copy.Parse("{}"));
}

// Replies that are broken, hostile or huge: each call returns with the empty result or a false
// Parse, and the object reads the next good reply as usual.
TEST(JsonObject, BadReplies) {
    struct Case {
        const char* name;
        Text json;
        bool ok;
        Text str;  // GetText("str") afterwards
    };
    const std::vector<Case> cases = {
        {"invalid JSON", "{\"str\":\"x\"", false, ""},
        {"nested brackets", std::string(100000, '[') + std::string(100000, ']'), false, ""},
        {"unclosed brackets", std::string(100000, '['), false, ""},
        {"NUL escape", "{\"str\":\"a\\u0000b\"}", true, "a"},
        {"raw NUL", Text("{\"str\":\"a\0b\"}", 13), false, ""},
        {"line separator", "{\"str\":\"a\\u2028b\"}", true, "a?b"},
        {"line separator in lenient syntax", "{str:'a\\u2028b'}", true, "a?b"},
        // A lead byte whose trail byte is no GBK trail byte reads as one unknown character.
        {"malformed GBK", "{\"str\":\"a\x81\x7Fz\"}", true, "a?\x7Fz"},
        {"lone surrogate", "{\"str\":\"a\\udc00b\"}", true, "a?b"},
        // Text that is no JSON is evaluated only when it is a literal that runs no code.
        {"lenient literal", "{str:'lenient', n:-1.5e3, h:0x1F, list:[1,,2,], 'q':\"d\",}", true,
         "lenient"},
        {"endless loop", "while(1){}", false, ""},
        {"string holding an endless loop", "'while(1){}'", false, ""},
        {"endless loop in a member", "{str:(function(){while(1){}})()}", false, ""},
        {"endless allocation", "'var a=[];while(1)a.push(a.length)'", false, ""},
        {"call in a member", "{\"str\":String('ran')}", false, ""},
        {"long native loop in a member", "{str:Array(4294967295).join('')}", false, ""},
    };
    JsonObject object;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(object.Parse(c.json), c.ok);
        EXPECT_EQ(object.GetText("str"), c.str);
        EXPECT_TRUE(object.Parse("{\"str\":\"good\"}"));
        EXPECT_EQ(object.GetText("str"), "good");
    }
}

TEST(JsonObject, HostileValueTextsInWrites) {
    JsonObject object = Parsed("{\"m\":\"old\"}");
    object.SetText("m", "';while(1){}'");  // assigns '' and then loops until stopped
    EXPECT_EQ(object.GetText("m"), "");
    object.SetJson("n", "'while(1){}'");
    EXPECT_FALSE(object.HasMember("n"));
    object.SetText("m", "fine");
    EXPECT_EQ(object.GetText("m"), "fine");
}

TEST(JsonObject, LargeReply) {
    // 50 MB of text: plain ASCII with GBK characters spread through it.
    Text large;
    large.reserve(50u << 20);
    while (large.size() < (50u << 20)) large += "abcdefgh" + kZhong + kWen;
    const Text reply = "{\"ck\":\"" + kWen + "\",\"str\":\"" + large + "\"}";
    JsonObject object;
    ASSERT_TRUE(object.Parse(reply));
    EXPECT_EQ(object.GetText("ck"), kWen);
    const Text str = object.GetText("str");
    EXPECT_EQ(str.size(), large.size());
    EXPECT_TRUE(str == large);
}

// Every worker owns its object, as each batch worker does; one worker is fed a runaway reply
// while the others keep parsing.
TEST(JsonObject, ObjectsOnManyThreads) {
    const int threads = 6;
    const int rounds = 20;
    std::vector<int> good(threads, 0);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t, &good] {
            JsonObject object;
            for (int i = 0; i < rounds; ++i) {
                const Text expected =
                    "worker " + std::to_string(t) + " round " + std::to_string(i) + " " + kZhong;
                if (t == 0 && i == 0) object.Parse("'while(1){}'");
                if (object.Parse("{\"str\":\"" + expected + "\",\"n\":[" + std::to_string(i) +
                                 "]}") &&
                    object.GetText("str") == expected && object.Count("n") == 1) {
                    ++good[t];
                }
                JsonObject copy(object);
                copy.SetNumber("n[0]", t);
            }
        });
    }
    for (std::thread& worker : workers) worker.join();
    for (int t = 0; t < threads; ++t) EXPECT_EQ(good[t], rounds) << "worker " << t;
}

}  // namespace
