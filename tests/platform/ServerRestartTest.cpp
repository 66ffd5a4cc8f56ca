// A window open across a restart of the database server. The test restarts the server the
// suite runs on, so ctest runs it alone (RUN_SERIAL).
#include "platform/db/Query.h"
#include "support/TestDatabase.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tunnel;

TEST(ServerRestart, AWindowsReadGoesOnOverAFreshSession) {
    const QByteArray restart = qgetenv("TUNNEL_TEST_PG_RESTART");
    auto test = test::TestDatabase::create(db::Engine::PostgreSQL);
    if (!test || restart.isEmpty()) {
        if (!qEnvironmentVariableIsEmpty("CI"))
            FAIL() << "the test cluster and its restart command are needed in CI";
        GTEST_SKIP() << "needs the throwaway cluster of scripts/test.sh";
    }
    test->exec(QStringLiteral("INSERT INTO AREA (AREACODE) VALUES (1)"));
    db::Query query(test->connectionString());
    query.setSql(QStringLiteral("select count(*) AS N from AREA"));
    query.open();
    ASSERT_EQ(std::system(restart.constData()), 0);

    query.open();
    EXPECT_EQ(query.integer(QStringLiteral("N")), 1);
}
