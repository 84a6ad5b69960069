#include "db/statement_script.h"

#include <gtest/gtest.h>

namespace vornetta::db {
namespace {

using Statements = std::vector<std::string>;

TEST(SplitStatements, LineBreaksBecomeBlanksAndOnlyTheOuterEndsAreTrimmed) {
  EXPECT_EQ(SplitStatements("select 1;\r\nselect 2;"), (Statements{"select 1", " select 2"}));
  EXPECT_EQ(SplitStatements("select 1;\nselect 2;\n"), (Statements{"select 1", " select 2"}));
  EXPECT_EQ(SplitStatements("select a\rfrom t\n\nwhere x"), (Statements{"select a from t  where x"}));
  EXPECT_EQ(SplitStatements("  \t select 1 ; select 2  \r\n"), (Statements{"select 1 ", " select 2"}));
  EXPECT_EQ(SplitStatements("a ;  b  ; c"), (Statements{"a ", "  b  ", " c"}));
}

TEST(SplitStatements, SeparatorsAtTheEndsAddNothingButInnerEmptyPiecesCount) {
  EXPECT_EQ(SplitStatements("A;;B"), (Statements{"A", "", "B"}));
  EXPECT_EQ(SplitStatements("A;  ;B"), (Statements{"A", "  ", "B"}));
  EXPECT_EQ(SplitStatements("A;;;"), (Statements{"A"}));
  EXPECT_EQ(SplitStatements(";; A ;\r\n;"), (Statements{"A"}));
}

TEST(SplitStatements, SeparatesInsideLiteralsAndCommentsToo) {
  EXPECT_EQ(SplitStatements("select 'a;b'"), (Statements{"select 'a", "b'"}));
  EXPECT_EQ(SplitStatements("select 1 -- first\r\nfrom t; select 2"),
            (Statements{"select 1 -- first from t", " select 2"}));
}

TEST(SplitStatements, BlankScriptsGiveNoStatements) {
  EXPECT_TRUE(SplitStatements("").empty());
  EXPECT_TRUE(SplitStatements(" \r\n\t\n ").empty());
  EXPECT_TRUE(SplitStatements(";\r\n;").empty());
}

TEST(SplitStatements, KeepsBytesOfTheCodePageUntouched) {
  EXPECT_EQ(SplitStatements("select '\xE4\xF6\xFC'\r\n"), (Statements{"select '\xE4\xF6\xFC'"}));
}

}  // namespace
}  // namespace vornetta::db
