#pragma once
// The page-facing service "app": the identity of the installed application, the user's log-in
// held by the account library (log-in by name and password, log-in handed over by another
// program, user information and token, log-out), request header values, two encryptions for
// pages, the help request and the calls of libraries named after a service (DllFun).
//
// It keeps no state: the log-in lives in the account library, reached through GetZRAccount()
// (services/AccountLibrary.h), so one instance serves the page thread and the task runner. Every
// change of user is passed on to "msg.SetCurUserToken" through ServiceHost().CallAction. Texts
// are UTF-8; the account library takes and gives UTF-16.
#include "actions/CustomAttributeUnit.h"

#include <cstdint>
#include <string>
#include <string_view>

class TAccountSvr : public TActionService {
public:
    // Gives the login manager the host's application id and initialises the account object with
    // the product code, product key and web address. False without the account library or on any
    // failure (written to the daily log).
    bool InitEnvironment(TCallerContext* aContext);

    // Identity, from the framework's control parameters.
    std::string appId(TCallerContext* aContext);
    std::string MsgAppId(TCallerContext* aContext);
    std::string AppHost(TCallerContext* aContext);
    std::string AppCenterID(TCallerContext* aContext);
    std::string appver(TCallerContext* aContext);
    std::string appmac(TCallerContext* aContext);
    std::string areaCode(TCallerContext* aContext);
    std::string webroot(TCallerContext* aContext);
    // {"appId","appver","appmac","webroot"}.
    std::string appinfor(TCallerContext* aContext);

    // Log-in answers are {"Logined":bool,"Msg":text}.
    // The argument is {"loginName","password"}.
    std::string login(TCallerContext* aContext);
    // The argument is a login-information document.
    std::string SetLoginUser(TCallerContext* aContext);
    // The argument is a hand-over document with an object member "loginInfo". "true" when the user
    // was taken, else "false"; a signed-in user of another account is never replaced.
    std::string UpdateLoginUser(TCallerContext* aContext);
    // The current user's information JSON, or a log-in answer when nobody is signed in.
    std::string userinfor(TCallerContext* aContext);
    // {"appId","appkey","timestamp"} for back-end requests.
    std::string header(TCallerContext* aContext);
    // The current user's token; empty when nobody is signed in.
    std::string GetUserToken(TCallerContext* aContext);
    std::string RefreshUser(TCallerContext* aContext);
    std::string logout(TCallerContext* aContext);
    std::string TaxCalendarURL(TCallerContext* aContext);
    // Encrypted, Base64- and URL-escaped text of the argument.
    std::string EncUrl(TCallerContext* aContext);
    // Hex AES (PKCS#7) cipher text of the argument.
    std::string EncA(TCallerContext* aContext);
    // Runs the library function the dispatch routed here ("path" and "funName" named values).
    std::string DllFun(TCallerContext* aContext);
    // "true" once after a start that asked for the help page, otherwise empty.
    std::string isNeedHelp(TCallerContext* aContext);

    // Signs in the user made from a login-information document (trimmed); true when a user is
    // signed in afterwards.
    bool InnerSetLoginUser(const std::string& sLoginInfo);
};

// The header answer for the given values: appkey is the upper-case hex SHA-1 of
// appId + productKey + timestamp (their ANSI bytes).
std::string AccountHeaderText(std::string_view appId, std::string_view productKey, int64_t timestamp);

// The class as the dispatch sees it ("app").
const TServiceClass& AccountServiceClass();
