#pragma once
// What the page-facing services need of the host around them: the application identity, the
// program's folder, the help request, internal action calls, background notifications and the
// host's text services. The host context provides it in the program; tests put a fake in its
// place. Every operation may be called from any thread. Texts are UTF-8.
#include "actions/AsyncTasks.h"
#include "foundation/TaggedValue.h"

#include <string>

class IServiceHost {
public:
    // The host's application identifier (FAppID).
    virtual std::string AppID() = 0;
    // The program's folder, with its trailing backslash.
    virtual std::string ProgramFolder() = 0;
    // True once after a start that asked for the help page; false afterwards.
    virtual bool TakeHelpRequest() = 0;
    // Runs an action by name with the values as its parameters ("msg.SetCurUserToken",
    // "app.userinfor", ...) and answers its text; empty when it fails (the failure is logged).
    virtual std::string CallAction(const std::string& sAction, const TVarArgs& Args) = 0;
    // Hands a notification to the message poller (labels and types as the poller takes them).
    virtual bool AppendNotifyTask(const std::string& label, TNotifyType type, const TVarArgs& args) = 0;
    // The tax-calendar page address of the host.
    virtual std::string TaxCalendarURL() = 0;

    virtual ~IServiceHost() = default;
};

// The process-wide host of the services. Until one is set, an inert one (empty answers, nothing
// run). The caller keeps the object alive while it is set; null puts the inert one back.
IServiceHost& ServiceHost();
void SetServiceHost(IServiceHost* host);
