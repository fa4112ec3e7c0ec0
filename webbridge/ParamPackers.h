#pragma once
// The three ways native values are packed for a page: a script call text, the parameter JSON and
// a call's parameter list. Each raises EUnsupportedParam ("not support type: %d") for a kind it
// cannot carry, before anything leaves the program for the two texts.
#include "foundation/TaggedValue.h"
#include "webbridge/AppFrameworkIntf.h"

#include <stdexcept>
#include <string>
#include <string_view>

struct EUnsupportedParam : std::runtime_error {
    explicit EUnsupportedParam(int kind);
};

// Method + "(" + the values separated by "," + ");". Texts are quoted with "'" and only their
// "'" escaped. UTF-8 in and out.
std::string ScriptCallText(std::string_view method, const TVarArgs& args);
// {"paramTypes":[...],"paramValues":[...]}, compact, UTF-8.
std::string PackFunParamsText(const TVarArgs& args);
// Appends the values in order to aParams; a value that raises stops the loop, the values before
// it stay appended. Texts go to the list as ANSI.
bool TranParamToJsCallerInf(const TVarArgs& args, IJsCallerInf& aParams);

// An open argument list received through a vtable slot (first element, index of the last), as
// the program's tagged values. Texts become UTF-8, read by the layout of their kind; the kinds
// the packers refuse are kept so they still refuse them.
TVarArgs ArgsFromAbi(const TVarRecAbi* args, int32_t high);
