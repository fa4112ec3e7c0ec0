#include "host/HostMessages.h"

#include "foundation/Crypto.h"
#include "foundation/Json.h"
#include "foundation/TextCodec.h"

#include <cstring>

TMainEventKind ClassifyMainFormEvent(int32_t iEventType, std::string_view sEventName) {
    switch (iEventType) {
    case 8:
        return TMainEventKind::Ignored;
    case 2:
        return TMainEventKind::Popup;
    case 3:
        return TMainEventKind::PageLoaded;
    default:
        break;
    }
    if (sEventName.find('.') != std::string_view::npos) return TMainEventKind::PageCall;
    if (iEventType == 9)
        return sEventName == "OpenLogin" ? TMainEventKind::OpenLogin : TMainEventKind::Nothing;
    if (iEventType == 10)
        return sEventName == "appKey" ? TMainEventKind::AppKey : TMainEventKind::EmptyRequest;
    return TMainEventKind::Nothing;
}

TLoginHandOver CheckLoginHandOver(const void* data, size_t size) {
    TLoginHandOver result;
    if (data == nullptr || size == 0) {
        result.Code = kHandOverNotJson;
        return result;
    }
    // The sender says how big the block is; a text without its zero byte ends with the block.
    const char* bytes = static_cast<const char*>(data);
    const void* zero = std::memchr(bytes, 0, size);
    result.TextAnsi.assign(bytes, zero ? static_cast<const char*>(zero) - bytes : size);

    const JsonRef doc = ParseJson(AnsiToUtf8(result.TextAnsi));
    if (!doc) {
        result.Code = kHandOverNotJson;
    } else if (doc->GetS("token").empty()) {
        result.Code = kHandOverNoToken;
    } else if (!doc->GetO("loginInfo")) {
        result.Code = kHandOverNoLoginInfo;
    } else if (doc->GetO("loginInfo")->GetS("accountId").empty()) {
        result.Code = kHandOverNoAccountId;
    }
    return result;
}

int64_t AppKeyTimeStamp(int64_t localWallClockMs) {
    constexpr int64_t kEightOClock = 8LL * 3600 * 1000;
    const int64_t diff = localWallClockMs - kEightOClock;
    return diff < 0 ? -diff : diff;
}

std::string AppKeyText(std::string_view timeStamp, std::string_view productCode,
                       std::string_view productKey) {
    std::string digestInput;
    digestInput.append(productCode).append(productKey).append(timeStamp);
    std::string text = "{\"timeStamp\": \"";
    text.append(timeStamp);
    text += "\", \"appKey\":\"";
    text += Sha1HexUpper(Utf8ToAnsi(digestInput));
    text += "\", \"ProductCode\":\"";
    text.append(productCode);
    text += "\"}";
    return text;
}

std::string PopupFormUrl(std::string_view popFormUrl, std::string_view encryptedUrl) {
    std::string url(popFormUrl);
    url += "?url=";
    url.append(encryptedUrl);
    return url;
}

std::string LoginFormReport(int32_t result, int32_t paramCount, std::string_view paramText) {
    std::string text = "iRet=" + std::to_string(result) + " count=" + std::to_string(paramCount) + " ";
    text.append(paramText);
    return text;
}

bool IsTrueText(std::string_view text) {
    static constexpr char kTrue[] = "true";
    if (text.size() != 4) return false;
    for (size_t i = 0; i < 4; ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kTrue[i]) return false;
    }
    return true;
}

TPageAnswer AnswerPageCall(TCurrentCallerType outcome, TCallerContext& context, IDispatchPort& port) {
    if (outcome != CLSync) return TPageAnswer::None;
    const int32_t callerNo = context.CallerNo();
    if (callerNo != 0) {
        port.CallJsFunction(context.WebID(), callerNo, context.FRetValue);
        return TPageAnswer::ByCaller;
    }
    if (auto params = ContextParams(*context.AppContext()))
        params->SetResult(Utf8ToAnsi(context.FRetValue.Get()).c_str());
    return TPageAnswer::ReturnText;
}

void TOwnedPointers::Add(const void* pointer) {
    if (!pointer) return;
    std::lock_guard<std::mutex> lock(FLock);
    FPointers.insert(pointer);
}

bool TOwnedPointers::Remove(const void* pointer) {
    std::lock_guard<std::mutex> lock(FLock);
    return FPointers.erase(pointer) != 0;
}

bool TOwnedPointers::Contains(const void* pointer) const {
    std::lock_guard<std::mutex> lock(FLock);
    return FPointers.count(pointer) != 0;
}

size_t TOwnedPointers::Count() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FPointers.size();
}

TOwnedPointers& HandOverBuffers() {
    static TOwnedPointers buffers;
    return buffers;
}
