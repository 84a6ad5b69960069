/* The floor of a driver: connects, runs one statement, binds every column as
 * text in blocks of 256 records and fetches to the end, and nothing else. What
 * it takes is the least any program reading through this driver can take.
 *
 *   build/bench/floor_fetch 'Driver={...};...' 'select * from t'
 *
 * Prints the records fetched. Values longer than 1,024 bytes are cut. */
#include <sql.h>
#include <sqlext.h>
#include <stdio.h>
#include <stdlib.h>

enum { kRows = 256, kMaxWidth = 1024, kMaxColumns = 64 };

static int Fail(SQLSMALLINT type, SQLHANDLE handle, const char* call) {
  SQLCHAR state[6] = "", message[512] = "";
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
  fprintf(stderr, "floor_fetch: %s: %s %s\n", call, state, message);
  return 1;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: floor_fetch CONNECTION STATEMENT\n");
    return 2;
  }
  SQLHENV env;
  SQLHDBC dbc;
  SQLHSTMT stmt;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, (SQLPOINTER)SQL_OV_ODBC3, 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  if (!SQL_SUCCEEDED(SQLDriverConnect(dbc, NULL, (SQLCHAR*)argv[1], SQL_NTS, NULL, 0, NULL, SQL_DRIVER_NOPROMPT)))
    return Fail(SQL_HANDLE_DBC, dbc, "SQLDriverConnect");
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  SQLULEN fetched = 0;
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, (SQLPOINTER)kRows, 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
  if (!SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)argv[2], SQL_NTS))) return Fail(SQL_HANDLE_STMT, stmt, "SQLExecDirect");
  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt, &columns);
  if (columns > kMaxColumns) columns = kMaxColumns;
  for (SQLUSMALLINT n = 1; n <= columns; ++n) {
    SQLULEN size = 0;
    SQLDescribeCol(stmt, n, NULL, 0, NULL, NULL, &size, NULL, NULL);
    /* Numbers and dates as text take up to about 40 bytes; texts up to 4 per character. */
    SQLLEN width = size == 0 || size * 4 + 1 > kMaxWidth ? kMaxWidth : (SQLLEN)(size * 4 + 1);
    if (width < 64) width = 64;
    char* values = malloc((size_t)width * kRows);
    SQLLEN* indicators = malloc(sizeof(SQLLEN) * kRows);
    if (!values || !indicators) return 1;
    SQLBindCol(stmt, n, SQL_C_CHAR, values, width, indicators);
  }
  long rows = 0;
  SQLRETURN rc;
  while (SQL_SUCCEEDED(rc = SQLFetch(stmt))) rows += (long)fetched;
  if (rc != SQL_NO_DATA) return Fail(SQL_HANDLE_STMT, stmt, "SQLFetch");
  printf("%ld\n", rows);
  return 0;
}
