#include "AppFrameTool.h"

#include "foundation/Crypto.h"
#include "foundation/RequestSign.h"
#include "foundation/TextCodec.h"

#include <cstdint>
#include <exception>
#include <stdexcept>

namespace {

constexpr int kBadInput = 2;

const char kUsage[] = "usage: appframe-tool [--acp N] COMMAND ARG\n"
                      "  enc TEXT | dec HEX                  sys.Enc / sys.Dec cipher\n"
                      "  encrypt-param TEXT | decrypt-param HEX   host parameter cipher\n"
                      "  enca TEXT                           app.EncA cipher\n"
                      "  encurl TEXT                         URL parameter cipher\n"
                      "  md5 TEXT | sha1 TEXT                digests of the ANSI bytes\n"
                      "  sign --app-id ID [--timestamp T] REQUEST_JSON\n"
                      "TEXT is converted to the ANSI code page (--acp, default the system's).\n";

struct EBadInput : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The tool may change the code page; callers in the same process get theirs back.
class TCodePageRestore {
public:
    TCodePageRestore() : FSaved(AnsiCodePage()) {}
    ~TCodePageRestore() { SetAnsiCodePage(FSaved); }

private:
    unsigned FSaved;
};

bool ParseUnsigned(const std::string& text, uint64_t limit, uint64_t& value) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stoull(text);
    return value <= limit;
}

void UseCodePage(const std::string& text) {
    uint64_t codePage = 0;
    if (!ParseUnsigned(text, 65535, codePage) || codePage == 0) throw EBadInput("bad code page: " + text);
    SetAnsiCodePage(static_cast<unsigned>(codePage));
    // Every ANSI code page keeps ASCII as it is; anything else is not one the system can use.
    if (Utf8ToAnsi("Az09") != "Az09" || AnsiToUtf8("Az09") != "Az09") {
        throw EBadInput("unsupported code page: " + text);
    }
}

std::string OneArgument(const std::string& command, const std::vector<std::string>& rest) {
    if (rest.size() != 1) throw EBadInput(command + " takes exactly one argument");
    return rest[0];
}

std::string Decrypt(const std::string& hex, std::string_view key) {
    try {
        return AnsiToUtf8(AesDecryptHex(hex, key));
    } catch (const ECryptoError& e) {
        throw EBadInput(std::string("cannot decrypt: ") + e.what());
    }
}

std::string Sign(const std::vector<std::string>& rest) {
    std::string appId;
    std::string timestamp;
    std::string request;
    bool haveAppId = false;
    bool haveRequest = false;
    for (size_t i = 0; i < rest.size(); ++i) {
        const std::string& arg = rest[i];
        if (arg == "--app-id" || arg == "--timestamp") {
            if (i + 1 >= rest.size()) throw EBadInput(arg + " needs a value");
            (arg == "--app-id" ? appId : timestamp) = rest[++i];
            if (arg == "--app-id") haveAppId = true;
        } else if (!haveRequest) {
            request = arg;
            haveRequest = true;
        } else {
            throw EBadInput("sign takes one request");
        }
    }
    if (!haveAppId) throw EBadInput("sign needs --app-id");
    if (!haveRequest) throw EBadInput("sign needs a request");
    TTimestampSource now = CurrentLocalTimestampMs;
    if (!timestamp.empty()) {
        uint64_t fixed = 0;
        if (!ParseUnsigned(timestamp, INT64_MAX, fixed)) throw EBadInput("bad timestamp: " + timestamp);
        now = [fixed] { return static_cast<int64_t>(fixed); };
    }
    // The page hands its request over as ANSI text; what the code page cannot hold is lost
    // before signing, and the signature must show the same.
    const std::string pageRequest = AnsiToUtf8(Utf8ToAnsi(request));
    try {
        return SignRequestOrThrow(pageRequest, AnsiToUtf8(Utf8ToAnsi(appId)), now);
    } catch (const std::exception& e) {
        throw EBadInput(std::string("cannot sign: ") + e.what());
    }
}

std::string Run(const std::vector<std::string>& args) {
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--acp") {
            if (i + 1 >= args.size()) throw EBadInput("--acp needs a code page");
            UseCodePage(args[++i]);
        } else {
            rest.push_back(args[i]);
        }
    }
    if (rest.empty()) throw EBadInput("no command");
    const std::string command = rest.front();
    rest.erase(rest.begin());

    if (command == "sign") return Sign(rest);
    const std::string arg = OneArgument(command, rest);
    if (command == "enc") return AesEncryptHex(Utf8ToAnsi(arg), kSysCipherKey, kAesLengthFramed);
    if (command == "dec") return Decrypt(arg, kSysCipherKey);
    if (command == "encrypt-param") return AesEncryptHex(Utf8ToAnsi(arg), kHostCipherKey, kAesLengthFramed);
    if (command == "decrypt-param") return Decrypt(arg, kHostCipherKey);
    if (command == "enca") return AesEncryptHex(Utf8ToAnsi(arg), kEncACipherKey, kAesPkcs7);
    if (command == "encurl") return EncUrlText(Utf8ToAnsi(arg));
    if (command == "md5") return Md5Hex(arg);
    if (command == "sha1") return Sha1HexUpper(Utf8ToAnsi(arg));
    throw EBadInput("unknown command: " + command);
}

} // namespace

int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    try {
        TCodePageRestore restore;
        if (args.size() == 1 && (args[0] == "--help" || args[0] == "help")) {
            out << kUsage;
            return 0;
        }
        try {
            const std::string line = Run(args);
            out << line << '\n';
            return 0;
        } catch (const EBadInput& e) {
            err << "appframe-tool: " << e.what() << '\n' << kUsage;
            return kBadInput;
        }
    } catch (const std::exception& e) {
        err << "appframe-tool: " << e.what() << '\n';
    } catch (...) {
        err << "appframe-tool: unexpected failure\n";
    }
    return kBadInput;
}
