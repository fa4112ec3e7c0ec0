#include "actions/DispatchPorts.h"

#include "foundation/AppLog.h"

std::string FormatLogLine(std::string_view format, std::initializer_list<std::string_view> args) {
    std::string line;
    line.reserve(format.size() + 32);
    auto next = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        const char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            const char conv = format[i + 1];
            if (conv == '%') {
                line += '%';
                ++i;
                continue;
            }
            if ((conv == 's' || conv == 'd') && next != args.end()) {
                line.append(next->data(), next->size());
                ++next;
                ++i;
                continue;
            }
        }
        line += c;
    }
    return line;
}

void WriteMainLog(IDispatchPort& port, const std::string& line) noexcept {
    try {
        port.WriteLog(line);
        return;
    } catch (...) {
    }
    WriteAppLog(line);
}
