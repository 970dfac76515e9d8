#include "tools/delay_relay/relay_options.h"

#include <CLI/CLI.hpp>
#include <arpa/inet.h>

namespace tarrow::relay {

std::optional<Endpoint> parseEndpoint(const std::string& text, bool portZeroAllowed) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return std::nullopt;
    Endpoint e;
    e.address = text.substr(0, colon);
    in_addr parsed{};
    if (inet_pton(AF_INET, e.address.c_str(), &parsed) != 1) return std::nullopt;
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long value = std::stoul(port);
    if (value > 65535 || (value == 0 && !portZeroAllowed)) return std::nullopt;
    e.port = static_cast<std::uint16_t>(value);
    return e;
}

ParsedRelayOptions parseRelayOptions(const std::vector<std::string>& args) {
    CLI::App app{
        "Forwards every TCP connection from --listen to --to and holds each chunk of "
        "bytes for a set time, so that every exchange with the target takes longer.",
        "tarrow_delay_relay"};
    RelayOptions o;
    std::string listen, target;
    app.add_option("--listen", listen, "ADDR:PORT to accept on (port 0: a free one)")->required();
    app.add_option("--to", target, "ADDR:PORT every connection is forwarded to")->required();
    app.add_option("--delay-ms", o.delayMs, "hold of each chunk toward the target")->check(CLI::Range(0, 600000));
    app.add_option("--return-delay-ms", o.returnDelayMs, "hold of each chunk on the way back")
        ->check(CLI::Range(0, 600000));
    app.add_option("--max-connections", o.maxConnections, "connections relayed at once")
        ->check(CLI::Range(1, 65536));
    app.add_option("--connect-timeout-ms", o.connectTimeoutMs, "bound of the connect to the target")
        ->check(CLI::Range(1, 600000));

    ParsedRelayOptions result;
    std::vector<std::string> reversed(args.rbegin(), args.rend());  // CLI11 takes them backwards
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        result.help = true;
        result.message = app.help();
        return result;
    } catch (const CLI::ParseError& e) {
        result.message = e.what();
        return result;
    }
    const auto l = parseEndpoint(listen, true);
    if (!l) {
        result.message = "--listen needs ADDR:PORT with a dotted IPv4 address, got \"" + listen + "\"";
        return result;
    }
    const auto t = parseEndpoint(target, false);
    if (!t) {
        result.message =
            "--to needs ADDR:PORT with a dotted IPv4 address and a port from 1 to 65535, got \"" + target +
            "\"";
        return result;
    }
    o.listen = *l;
    o.target = *t;
    result.options = o;
    return result;
}

}  // namespace tarrow::relay
