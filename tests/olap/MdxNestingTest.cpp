// Hostile nesting in MDX text: a hundred thousand levels of parentheses, calls, braces, operators
// or formulas that use each other end in an error naming the limit and the place, never in a
// crash; queries of any sensible depth still run, even on a thread with a small stack.
#include <gtest/gtest.h>
#include <pthread.h>

#include <exception>
#include <functional>
#include <string>
#include <string_view>

#include "SmallShop.h"
#include "data/AdoCellSet.h"
#include "data/AdoException.h"
#include "olap/MdxEvaluator.h"
#include "olap/MdxParser.h"

namespace orvik::test {
namespace {

constexpr size_t kHostile = 100000;

std::string Repeat(std::string_view text, size_t times) {
    std::string out;
    out.reserve(text.size() * times);
    for (size_t i = 0; i < times; ++i) out += text;
    return out;
}

std::string SyntaxErrorOf(const std::function<void()>& parse) {
    try {
        parse();
    } catch (const mdx::MdxSyntaxError& error) {
        return error.what();
    }
    return "";
}

// Runs `work` on a thread whose stack holds `bytes`: threads other than the main one may have
// far less stack than it, and the limits must leave room there too.
void OnStackOf(size_t bytes, const std::function<void()>& work) {
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, bytes), 0);
    pthread_t thread;
    auto* task = new std::function<void()>(work);
    ASSERT_EQ(pthread_create(
                  &thread, &attributes,
                  [](void* argument) -> void* {
                      auto* run = static_cast<std::function<void()>*>(argument);
                      try {
                          (*run)();
                      } catch (const std::exception& error) {
                          ADD_FAILURE() << error.what();
                      }
                      delete run;
                      return nullptr;
                  },
                  task),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

const std::string kLimit = "nests deeper than the limit of " + std::to_string(mdx::kMaxMdxNesting) +
                           " levels at line 1, column ";

// A sanitizer's frames are many times larger: there the small stack is the main thread's size.
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t kSmallStack = 8u << 20;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr size_t kSmallStack = 8u << 20;
#else
constexpr size_t kSmallStack = 512u << 10;
#endif
#else
constexpr size_t kSmallStack = 512u << 10;
#endif

TEST(MdxNesting, EveryKindOfHostileNestingIsAnErrorNamingTheLimitAndThePlace) {
    struct Case {
        const char* what;
        std::string open, inner, close;
    };
    const Case cases[] = {
        {"parentheses", "(", "[Measures].[Amount]", ")"},
        {"function calls", "Abs(", "1", ")"},
        {"set braces", "{", "[Measures].[Amount]", "}"},
        {"unary minus", "- ", "1", ""},  // "--" would start a comment
        {"NOT", "NOT ", "1", ""},
        {"CASE", "CASE WHEN 1 THEN ", "1", " END"},
    };
    for (const Case& c : cases) {
        const std::string expression =
            Repeat(c.open, kHostile) + c.inner + Repeat(c.close, kHostile);
        const std::string query = "SELECT " + expression + " ON COLUMNS FROM [Sales]";
        const std::string statement = SyntaxErrorOf([&] { mdx::ParseSelect(query); });
        EXPECT_NE(statement.find(kLimit), std::string::npos) << c.what << ": " << statement;
        const std::string formula = SyntaxErrorOf([&] { mdx::ParseExpression(expression); });
        EXPECT_NE(formula.find(kLimit), std::string::npos) << c.what << ": " << formula;
    }
    // The place is where the first level too many starts: the 129th "(" after "SELECT ".
    EXPECT_NE(SyntaxErrorOf([] {
                  mdx::ParseSelect("SELECT " + Repeat("(", kHostile));
              }).find(kLimit + std::to_string(7 + mdx::kMaxMdxNesting + 1)),
              std::string::npos);
}

TEST(MdxNesting, LongChainsDeepenTheTreeAndCountAsLevelsToo) {
    // Neither recursion in the parser nor anything else stops these: each operator and method
    // makes the tree one level deeper, and whatever walks it afterwards would recurse that deep.
    for (const std::string& chain :
         {"1" + Repeat(" + 1", kHostile), "2" + Repeat(" * 2", kHostile),
          "'a'" + Repeat(" || 'a'", kHostile), "1" + Repeat(" OR 1", kHostile),
          "[Time].[2023]" + Repeat(".Parent", kHostile),
          "[Time].[2023]" + Repeat(".Lag(1)", kHostile)}) {
        const std::string error = SyntaxErrorOf([&] { mdx::ParseExpression(chain); });
        EXPECT_NE(error.find(kLimit), std::string::npos) << chain.substr(0, 40) << ": " << error;
    }
    // Short chains are what real formulas are made of.
    EXPECT_NO_THROW(mdx::ParseExpression("1" + Repeat(" + 1", mdx::kMaxMdxNesting - 8)));
}

TEST(MdxNesting, QueriesUpToTheLimitRunOnASmallStackAndHostileOnesFailCleanly) {
    const SmallShop shop;
    const double total = shop.Sql("SELECT sum(amount) FROM sales");
    // Everything a query does, parsing and evaluation, on a thread of 512 KiB: the sizes a
    // library's worker threads get.
    OnStackOf(kSmallStack, [&] {
        const size_t depth = mdx::kMaxMdxNesting - 6;
        for (const std::string& set :
             {"{" + Repeat("(", depth) + "[Measures].[Amount]" + Repeat(")", depth) + "}",
              Repeat("{", depth) + "[Measures].[Amount]" + Repeat("}", depth)}) {
            CADOMDCellSet cells;
            try {
                cells.Open("SELECT " + set + " ON COLUMNS FROM [Sales]", shop.Connection());
                EXPECT_DOUBLE_EQ(cells.Cell(0).Value.AsDouble(), total);
            } catch (const CADOException& error) {
                ADD_FAILURE() << error.what();
            }
        }
        CADOMDCellSet cells;
        const std::string formula =
            Repeat("Abs(", depth) + "[Measures].[Amount]" + Repeat(")", depth);
        try {
            cells.Open("WITH MEMBER [Measures].[Deep] AS " + formula +
                           " SELECT {[Measures].[Deep]} ON COLUMNS FROM [Sales]",
                       shop.Connection());
            EXPECT_DOUBLE_EQ(cells.Cell(0).Value.AsDouble(), total);
        } catch (const CADOException& error) {
            ADD_FAILURE() << error.what();
        }
        // A hostile query through the whole engine: an error of the query, and the connection
        // (kept by the process) serves the next one.
        try {
            cells.Open("SELECT " + Repeat("(", kHostile) + " ON COLUMNS FROM [Sales]",
                       shop.Connection());
            ADD_FAILURE() << "a hostile query ran";
        } catch (const CADOException& error) {
            EXPECT_NE(std::string(error.what()).find(kLimit), std::string::npos) << error.what();
        }
        cells.Open("SELECT {[Measures].[Amount]} ON COLUMNS FROM [Sales]", shop.Connection());
        EXPECT_DOUBLE_EQ(cells.Cell(0).Value.AsDouble(), total);
    });
}

TEST(MdxNesting, FormulasThatUseEachOtherWithoutEndAreAnErrorNotACrash) {
    const SmallShop shop;
    // Each named set is the next one: no text is deep, but evaluating the first goes down
    // through all of them.
    std::string sets = "WITH";
    for (size_t i = 0; i < kHostile; ++i)
        sets += " SET [S" + std::to_string(i) + "] AS '[S" + std::to_string(i + 1) + "]'";
    sets += " SET [S" + std::to_string(kHostile) + "] AS '{[Measures].[Amount]}'";
    CADOMDCellSet cells;
    try {
        cells.Open(sets + " SELECT [S0] ON COLUMNS FROM [Sales]", shop.Connection());
        ADD_FAILURE() << "a hundred thousand sets deep ran";
    } catch (const CADOException& error) {
        EXPECT_NE(std::string(error.what())
                      .find("evaluation nests deeper than the limit of " +
                            std::to_string(cube::kMaxEvaluationNesting) + " levels"),
                  std::string::npos)
            << error.what();
    }
    // A chain that stays under the limit is evaluated to its end.
    std::string shortChain = "WITH";
    for (int i = 0; i < 50; ++i)
        shortChain += " SET [S" + std::to_string(i) + "] AS '[S" + std::to_string(i + 1) + "]'";
    shortChain += " SET [S50] AS '{[Measures].[Amount]}'";
    cells.Open(shortChain + " SELECT [S0] ON COLUMNS FROM [Sales]", shop.Connection());
    EXPECT_DOUBLE_EQ(cells.Cell(0).Value.AsDouble(), shop.Sql("SELECT sum(amount) FROM sales"));
}

}  // namespace
}  // namespace orvik::test
