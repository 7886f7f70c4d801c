// The PostgreSQL client library, loaded the first time the program talks to
// a server rather than when it starts.
//
// libpq and what it brings (OpenSSL, Kerberos, LDAP, GnuTLS) take more than
// 5 MB of resident memory in every process that links them, and most users
// keep their archive in a file and never reach a server. So the program is
// not linked with libpq: the functions it calls are defined here and hand
// each call to the library, opened on the first call. Where the library
// cannot be opened, a connection fails with a message that says why, and
// the download goes to the spool as for a server that cannot be reached.
//
// The library is libpq's ABI 5 by its usual name (ORONT_LIBPQ_NAME), or the
// file ORONT_LIBPQ names. These definitions are compiled with hidden
// visibility, so that libpq's own calls keep to libpq.
#include <dlfcn.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <string>

namespace {

struct Library {
    void* handle = nullptr;
    std::string error;  // why it could not be opened
};

Library Open() {
    const char* chosen = std::getenv("ORONT_LIBPQ");
    const std::string name = chosen != nullptr && *chosen != '\0' ? chosen : ORONT_LIBPQ_NAME;
    Library library;
    library.handle = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library.handle == nullptr) {
        const char* why = ::dlerror();
        library.error = "the PostgreSQL client library (" + name + ") cannot be loaded" +
                        (why != nullptr ? std::string(": ") + why : std::string()) + "\n";
    }
    return library;
}

// Opened once, by the first call of any of the functions.
const Library& Loaded() {
    static const Library library = Open();
    return library;
}

// The library's function `name` of the type of its declaration; nullptr
// when the library or the function is missing.
template <typename Function>
Function* Find(const char* name) {
    const Library& library = Loaded();
    return library.handle != nullptr ? reinterpret_cast<Function*>(::dlsym(library.handle, name)) : nullptr;
}

char* LoadError() {
    static std::string text = Loaded().error.empty()
                                  ? std::string("the PostgreSQL client library lacks a function the program uses\n")
                                  : Loaded().error;
    return text.data();
}

// For a text libpq never leaves null.
char* NoText() {
    static char empty[1] = {'\0'};
    return empty;
}

}  // namespace

// Each function calls the library's; without the library it answers as
// libpq does for a connection that does not exist.
#define ORONT_FORWARD(Result, name, params, args, without)           \
    extern "C" Result name params {                                  \
        static auto* const function = Find<decltype(::name)>(#name); \
        return function != nullptr ? function args : without;        \
    }
#define ORONT_FORWARD_VOID(name, params, args)                       \
    extern "C" void name params {                                    \
        static auto* const function = Find<decltype(::name)>(#name); \
        if (function != nullptr) function args;                      \
    }

ORONT_FORWARD(PGconn*, PQconnectdb, (const char* conninfo), (conninfo), nullptr)
ORONT_FORWARD_VOID(PQfinish, (PGconn * conn), (conn))
ORONT_FORWARD(ConnStatusType, PQstatus, (const PGconn* conn), (conn), CONNECTION_BAD)
ORONT_FORWARD(char*, PQerrorMessage, (const PGconn* conn), (conn), LoadError())
ORONT_FORWARD(char*, PQhost, (const PGconn* conn), (conn), nullptr)
ORONT_FORWARD(char*, PQport, (const PGconn* conn), (conn), nullptr)
ORONT_FORWARD(char*, PQuser, (const PGconn* conn), (conn), nullptr)
ORONT_FORWARD(char*, PQdb, (const PGconn* conn), (conn), nullptr)
ORONT_FORWARD(PGresult*, PQexec, (PGconn * conn, const char* query), (conn, query), nullptr)
ORONT_FORWARD(PGresult*, PQexecParams,
              (PGconn * conn, const char* command, int nParams, const Oid* paramTypes, const char* const* paramValues,
               const int* paramLengths, const int* paramFormats, int resultFormat),
              (conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats, resultFormat), nullptr)
ORONT_FORWARD(PGresult*, PQprepare,
              (PGconn * conn, const char* stmtName, const char* query, int nParams, const Oid* paramTypes),
              (conn, stmtName, query, nParams, paramTypes), nullptr)
ORONT_FORWARD(PGresult*, PQexecPrepared,
              (PGconn * conn, const char* stmtName, int nParams, const char* const* paramValues,
               const int* paramLengths, const int* paramFormats, int resultFormat),
              (conn, stmtName, nParams, paramValues, paramLengths, paramFormats, resultFormat), nullptr)
ORONT_FORWARD(int, PQsendQueryParams,
              (PGconn * conn, const char* command, int nParams, const Oid* paramTypes, const char* const* paramValues,
               const int* paramLengths, const int* paramFormats, int resultFormat),
              (conn, command, nParams, paramTypes, paramValues, paramLengths, paramFormats, resultFormat), 0)
ORONT_FORWARD(int, PQsetSingleRowMode, (PGconn * conn), (conn), 0)
ORONT_FORWARD(PGresult*, PQgetResult, (PGconn * conn), (conn), nullptr)
ORONT_FORWARD(ExecStatusType, PQresultStatus, (const PGresult* res), (res), PGRES_FATAL_ERROR)
ORONT_FORWARD(char*, PQresultErrorMessage, (const PGresult* res), (res), LoadError())
ORONT_FORWARD(char*, PQresultErrorField, (const PGresult* res, int fieldcode), (res, fieldcode), nullptr)
ORONT_FORWARD(int, PQntuples, (const PGresult* res), (res), 0)
ORONT_FORWARD(int, PQnfields, (const PGresult* res), (res), 0)
ORONT_FORWARD(Oid, PQftype, (const PGresult* res, int field_num), (res, field_num), InvalidOid)
ORONT_FORWARD(char*, PQgetvalue, (const PGresult* res, int tup_num, int field_num), (res, tup_num, field_num), nullptr)
ORONT_FORWARD(int, PQgetlength, (const PGresult* res, int tup_num, int field_num), (res, tup_num, field_num), 0)
ORONT_FORWARD(int, PQgetisnull, (const PGresult* res, int tup_num, int field_num), (res, tup_num, field_num), 1)
ORONT_FORWARD(char*, PQcmdTuples, (PGresult * res), (res), NoText())
ORONT_FORWARD_VOID(PQclear, (PGresult * res), (res))
ORONT_FORWARD_VOID(PQfreemem, (void* ptr), (ptr))

extern "C" PQconninfoOption* PQconninfoParse(const char* conninfo, char** errmsg) {
    static auto* const function = Find<decltype(::PQconninfoParse)>("PQconninfoParse");
    if (function != nullptr) return function(conninfo, errmsg);
    // No options and no message, as libpq says when it runs out of memory.
    if (errmsg != nullptr) *errmsg = nullptr;
    return nullptr;
}
ORONT_FORWARD_VOID(PQconninfoFree, (PQconninfoOption * connOptions), (connOptions))
