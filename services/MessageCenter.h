#pragma once
// The page-facing service "msg": configures the push-message client for the current user, company
// list and area, fetches pending messages for pages (filtered), records read receipts and queues
// background fetches whose results the message poller pushes into the page ("MessageNotify").
//
// One instance serves the user-interface thread (setters, log-ins), the task runner (page fetches,
// receipts) and the message poller (background fetches) at once. Its fields are guarded by one
// lock that is only held to read or change them: never while the push-message client runs (its
// fetches call the message filter), an internal action call runs (it may come back into this
// service), a background fetch is queued or a log line is written. Configuration of the client is
// run by one thread at a time: callers that need it while another thread configures wait for
// that configuration and then decide again, so one change is configured once.
#include "actions/CustomAttributeUnit.h"
#include "services/ConsumerHelper.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

// The filter rule for one candidate message, with the local time now as "YYYY-MM-DD hh:mm:ss".
// Types compare without regard to letter case: "000000_ZYTZ" is kept unless discarded, "xctp" is
// dropped when discarded or when its non-empty expireTime orders before now, "xms.cancel" is
// dropped, any other type is kept.
bool KeepMessage(const TMessageMember& member, std::string_view localNow);
// The local time now as "YYYY-MM-DD hh:mm:ss".
std::string LocalTimeText();
// The filter handed to every fetch: KeepMessage with the time of the call.
TMessageFilter MessageFilter();

class TMessageCenter : public TActionService {
public:
    TMessageCenter();

    bool InitEnvironment(TCallerContext* aContext);
    // Store the token / company list / area code; "false" without argument, otherwise "true".
    // Nothing is configured here; the next fetch or receipt does it.
    std::string SetCurUserToken(TCallerContext* aContext);
    std::string SetMsgEnterprise(TCallerContext* aContext);
    std::string SetMsgConifg(TCallerContext* aContext);
    // Packed parameters: messages, offset (64-bit), end offset (64-bit).
    std::string GetMessage(TCallerContext* aContext);
    std::string GetMessageOffset(TCallerContext* aContext);
    // The messages JSON text of a network fetch followed by a store fetch.
    std::string SynFetchMsg(TCallerContext* aContext);
    // Packed parameters: the library's result code.
    std::string SendMsgReceipt(TCallerContext* aContext);

private:
    enum TFetchMode { fmBegin = 0, fmOffset = 1 };

    std::string GetMessages(TCallerContext* aContext, TFetchMode mode);
    // Re-configures when the user, company list or area changed since the last configuration.
    void CheckReinit();
    // Configures unless the client is configured for the current area; true when it is configured.
    bool EnsureConfigured();
    // Configures the push-message client; the caller has claimed the configuration (FConfiguring).
    bool InitMessageClient();
    // Waits, with the lock held by lock, until no other thread configures. False when this thread
    // is the one configuring (an action call of the configuration came back here).
    bool WaitForConfigurationLocked(std::unique_lock<std::mutex>& lock);
    // Messages of one fetch; the offsets are updated by the fetch.
    std::string FetchMessages(const std::string& types, int32_t count, int64_t& offset, int64_t& endOffset,
                              TFetchMode mode);
    // True when the type list is new (and remembers it), false when it is already known.
    bool AddMsgType(const std::string& types);
    std::string UniRegID();

    std::mutex FLock;
    std::condition_variable FConfigDone;
    bool FConfiguring = false;
    std::thread::id FConfigThread;

    std::string FUniRegID;
    bool FisIniOK = false;
    std::string FCurUserToken;
    std::string FpreUserToken;
    std::string FMsgTypes;
    std::string FAreaCode;
    std::string FpreAreaCode;
    std::string FCurCMPList;
    std::string FPreCMPList;
};

// The class as the dispatch sees it ("msg" with InitEnvironment, SetCurUserToken, SetMsgEnterprise,
// SetMsgConifg, SynFetchMsg for every caller; GetMessage, GetMessageOffset, SendMsgReceipt in the
// background).
const TServiceClass& MessageCenterServiceClass();
