#include "json/literal_check.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(IsDataLiteral, Cases) {
    struct Case {
        const char* name;
        Text script;
        bool literal;
    };
    const Case cases[] = {
        {"JSON object", "{\"a\":[1,2.5,\"x\"],\"b\":null}", true},
        {"single quotes", "{'a':'it\\'s'}", true},
        {"bare names", "{a:1, $b_2:{c:true}}", true},
        {"keyword as name", "{new:1, function:2}", true},
        {"number as name", "{1:'one', 2.5:'x'}", true},
        {"trailing commas", "{a:[1,2,],}", true},
        {"holes", "[,1,,2,]", true},
        {"numbers", "[-1, +2, .5, 1e-3, 1E+3, 0x1F, -Infinity, NaN]", true},
        {"global names as values", "{u:undefined, n:NaN}", true},
        {"white space", " \t\r\n{ a : [ 1 ] } \n", true},
        {"UTF-8 in strings", "{\"\xE4\xB8\xAD\":'\xE6\x96\x87'}", true},
        {"escapes", "['\\u0041\\\\', \"\\\"\"]", true},
        {"top-level number", "0x10", true},
        {"top-level keyword", "true", true},
        {"deep nesting", std::string(100000, '[') + std::string(100000, ']'), true},

        {"empty", "", false},
        {"white space only", "  ", false},
        {"top-level string", "'while(1){}'", false},
        {"top-level double-quoted string", "\"a\"", false},
        {"top-level name", "abc", false},
        {"call", "{a:f()}", false},
        {"parenthesised", "({a:1})", false},
        {"function", "{a:function(){}}", false},
        {"accessor", "{get a(){return 1}}", false},
        {"two names", "{a:new Date}", false},
        {"operator", "{a:1+2}", false},
        {"member access", "{a:b.c}", false},
        {"index", "{a:b[0]}", false},
        {"statements", "{a:1};while(1){}", false},
        {"trailing text", "{} {}", false},
        {"comment", "{a:1}//", false},
        {"block comment", "{a:/**/1}", false},
        {"regular expression", "[/x/]", false},
        {"assignment", "{a:b=1}", false},
        {"unclosed string", "{a:'x}", false},
        {"string across lines", "{a:'x\ny'}", false},
        {"line continuation", "{a:'x\\\ny'}", false},
        {"unclosed object", "{a:1", false},
        {"unclosed nesting", std::string(100000, '['), false},
        {"mismatched brackets", "{a:[1}]", false},
        {"missing colon", "{a 1}", false},
        {"missing comma", "[1 2]", false},
        {"non-ASCII name", "{\xE4\xB8\xAD:1}", false},
        {"non-ASCII space between names",
         "{a:new\xC2\xA0"
         "Date}",
         false},
        {"sign before a name", "[-x]", false},
        {"template", "[`x`]", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsDataLiteral(c.script), c.literal);
    }
}

}  // namespace
