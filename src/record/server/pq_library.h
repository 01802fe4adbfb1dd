#pragma once
// libpq, loaded when a record server is first used rather than linked: linked, it and the
// thirty libraries it brings (TLS, Kerberos, LDAP...) would slow the start of every run,
// and of every child of a line, that never asks a server anything. The header gives the
// types; every call goes through this table.

#include <libpq-fe.h>

struct PqLibrary {
    bool loaded = false;
    decltype(&::PQclear) PQclear = nullptr;
    decltype(&::PQcmdStatus) PQcmdStatus = nullptr;
    decltype(&::PQcmdTuples) PQcmdTuples = nullptr;
    decltype(&::PQconnectPoll) PQconnectPoll = nullptr;
    decltype(&::PQconnectStartParams) PQconnectStartParams = nullptr;
    decltype(&::PQconnectionNeedsPassword) PQconnectionNeedsPassword = nullptr;
    decltype(&::PQconnectionUsedPassword) PQconnectionUsedPassword = nullptr;
    decltype(&::PQconninfoFree) PQconninfoFree = nullptr;
    decltype(&::PQconninfoParse) PQconninfoParse = nullptr;
    decltype(&::PQconsumeInput) PQconsumeInput = nullptr;
    decltype(&::PQerrorMessage) PQerrorMessage = nullptr;
    decltype(&::PQfinish) PQfinish = nullptr;
    decltype(&::PQflush) PQflush = nullptr;
    decltype(&::PQfreemem) PQfreemem = nullptr;
    decltype(&::PQgetResult) PQgetResult = nullptr;
    decltype(&::PQgetvalue) PQgetvalue = nullptr;
    decltype(&::PQisBusy) PQisBusy = nullptr;
    decltype(&::PQntuples) PQntuples = nullptr;
    decltype(&::PQputCopyData) PQputCopyData = nullptr;
    decltype(&::PQputCopyEnd) PQputCopyEnd = nullptr;
    decltype(&::PQresultErrorField) PQresultErrorField = nullptr;
    decltype(&::PQresultErrorMessage) PQresultErrorMessage = nullptr;
    decltype(&::PQresultStatus) PQresultStatus = nullptr;
    decltype(&::PQsendQuery) PQsendQuery = nullptr;
    decltype(&::PQsendQueryParams) PQsendQueryParams = nullptr;
    decltype(&::PQsetNoticeProcessor) PQsetNoticeProcessor = nullptr;
    decltype(&::PQsetSingleRowMode) PQsetSingleRowMode = nullptr;
    decltype(&::PQsetnonblocking) PQsetnonblocking = nullptr;
    decltype(&::PQsocket) PQsocket = nullptr;
    decltype(&::PQstatus) PQstatus = nullptr;
};

// The library's calls, loaded on the first use (from any thread); loaded is false, and
// every call null, when libpq cannot be found.
const PqLibrary& Pq();
