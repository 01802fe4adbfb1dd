#include "record/server/pq_library.h"

#include "platform/dynlib.h"

namespace {

template <typename Call>
bool BindPqCall(ModuleHandle library, const char* name, Call& call) {
    call = reinterpret_cast<Call>(platform::FindSymbol(library, name));
    return call != nullptr;
}

PqLibrary LoadPq() {
    PqLibrary pq;
    // Held for the rest of the run: the library keeps state (its SSL setup, its threads'
    // locks) that must outlive every connection.
    const ModuleHandle library = platform::OpenSystemLibrary("libpq.so.5");
    if (library == nullptr) {
        return pq;
    }
#define TQ8_BIND(call) BindPqCall(library, #call, pq.call)
    pq.loaded = TQ8_BIND(PQclear) && TQ8_BIND(PQcmdStatus) && TQ8_BIND(PQcmdTuples) &&
                TQ8_BIND(PQconnectPoll) && TQ8_BIND(PQconnectStartParams) &&
                TQ8_BIND(PQconnectionNeedsPassword) && TQ8_BIND(PQconnectionUsedPassword) &&
                TQ8_BIND(PQconninfoFree) && TQ8_BIND(PQconninfoParse) && TQ8_BIND(PQconsumeInput) &&
                TQ8_BIND(PQerrorMessage) && TQ8_BIND(PQfinish) && TQ8_BIND(PQflush) &&
                TQ8_BIND(PQfreemem) && TQ8_BIND(PQgetResult) && TQ8_BIND(PQgetvalue) &&
                TQ8_BIND(PQisBusy) && TQ8_BIND(PQntuples) && TQ8_BIND(PQputCopyData) &&
                TQ8_BIND(PQputCopyEnd) && TQ8_BIND(PQresultErrorField) &&
                TQ8_BIND(PQresultErrorMessage) && TQ8_BIND(PQresultStatus) &&
                TQ8_BIND(PQsendQuery) && TQ8_BIND(PQsendQueryParams) &&
                TQ8_BIND(PQsetNoticeProcessor) && TQ8_BIND(PQsetSingleRowMode) &&
                TQ8_BIND(PQsetnonblocking) && TQ8_BIND(PQsocket) && TQ8_BIND(PQstatus);
#undef TQ8_BIND
    if (!pq.loaded) {
        platform::CloseLibrary(library);
        return PqLibrary{};
    }
    return pq;
}

}  // namespace

const PqLibrary& Pq() {
    static const PqLibrary pq = LoadPq();
    return pq;
}
