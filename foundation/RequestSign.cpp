#include "foundation/RequestSign.h"

#include "foundation/AppLogPlatform.h"
#include "foundation/Crypto.h"
#include "foundation/HttpUtils.h"
#include "foundation/Json.h"
#include "foundation/KeyValueUtils.h"

#include <limits>

namespace {

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

} // namespace

int64_t LocalTimestampMs(const TAppLogTime& t) {
    const int64_t days = DaysFromCivil(t.Year, static_cast<unsigned>(t.Month), static_cast<unsigned>(t.Day));
    const int64_t ms = (((days * 24 + t.Hour) * 60 + t.Minute) * 60 + t.Second) * 1000 + t.Millisecond;
    const int64_t epoch = int64_t{8} * 3600 * 1000;
    return ms >= epoch ? ms - epoch : epoch - ms;
}

int64_t CurrentLocalTimestampMs() {
    return LocalTimestampMs(applog_detail::LocalNow());
}

TRequestDTO RequestFromJson(std::string_view requestJsonUtf8) {
    const JsonRef object = ParseJsonRecord(requestJsonUtf8);
    TRequestDTO request;
    for (const JsonRef& item : JsonFieldRecords(*object, "params")) {
        TParam param;
        param.key = JsonFieldText(*item, "key");
        param.value = JsonFieldText(*item, "value");
        request.params.push_back(std::move(param));
    }
    request.body = JsonFieldText(*object, "body");
    request.timestamp = JsonFieldText(*object, "timestamp");
    request.isUtf8 = static_cast<int32_t>(JsonFieldInt(*object, "isUtf8", std::numeric_limits<int32_t>::min(),
                                                       std::numeric_limits<int32_t>::max()));
    return request;
}

std::string RequestSignature(const TRequestDTO& request, std::string_view appId, std::string_view timestamp) {
    TKeyValueList list;
    list.Add("appId", appId);
    list.Add("appSecret", kRequestAppSecret);
    list.Add("timestamp", timestamp);
    for (const TParam& param : request.params)
        list.Add(param.key, param.value);
    if (!request.body.empty()) list.Add("bizData", request.body);
    list.SetCaseSensitive(true);
    list.Sort();
    std::string text;
    for (int i = 0; i < list.Count(); ++i)
        text += THttpUtils::HTTPEncode(list.GetValue(i));
    return Sha1HexUpper(text);
}

std::string SignRequestOrThrow(std::string_view requestJsonUtf8, std::string_view appId,
                               const TTimestampSource& now) {
    const std::string computed = std::to_string(now());
    const TRequestDTO request = RequestFromJson(requestJsonUtf8);
    const std::string& timestamp = request.timestamp.empty() ? computed : request.timestamp;
    const JsonRef answer = NewJsonObject();
    answer->PutS("appId", appId);
    answer->PutS("appkey", RequestSignature(request, appId, timestamp));
    answer->PutS("timestamp", timestamp);
    return answer->AsString();
}

std::string SignRequest(std::string_view requestJsonUtf8, std::string_view appId, const TTimestampSource& now,
                        const TSignLog& log) {
    std::string answer;
    std::string failure;
    bool failed = false;
    try {
        answer = SignRequestOrThrow(requestJsonUtf8, appId, now);
    } catch (const std::exception& e) {
        failed = true;
        failure = e.what();
    } catch (...) {
        failed = true;
    }
    if (failed) answer.clear();
    // A failing logger must not turn a signing outcome into an escaping exception.
    try {
        if (failed && log) log("[TAppAction.HttpRequest] 异常. " + failure);
        if (log) log("退出TAppAction.HttpRequest.");
    } catch (...) {
    }
    return answer;
}
