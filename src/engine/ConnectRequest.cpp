#include "engine/ConnectRequest.h"

#include <algorithm>
#include <charconv>

#include "engine/RequestArgs.h"

namespace pelmar {
namespace {

// The order of the arguments on the wire to the worker.
enum TConnectArg : size_t {
  caHost,
  caPort,
  caUser,
  caPassword,
  caAccount,
  caFirewallType,
  caFirewallHost,
  caFirewallPort,
  caFirewallUser,
  caFirewallPassword,
  caEncryption,
  caProtocol,
  caKeyFile,
  caCount,
};

int Number(const std::string& text, int fallback) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() ? value : fallback;
}

}  // namespace

std::vector<std::string> TConnectRequest::ToArgs() const {
  std::vector<std::string> args(caCount);
  args[caHost] = Server.Host;
  args[caPort] = std::to_string(Server.Port);
  args[caUser] = Server.User;
  args[caPassword] = Server.Password;
  args[caAccount] = Server.Account;
  args[caFirewallType] = std::to_string(FirewallType);
  args[caFirewallHost] = FirewallHost;
  args[caFirewallPort] = std::to_string(FirewallPort);
  args[caFirewallUser] = FirewallUser;
  args[caFirewallPassword] = FirewallPassword;
  args[caEncryption] = std::to_string(Server.Encryption);
  args[caProtocol] = std::to_string(Server.Protocol);
  args[caKeyFile] = Server.KeyFile;
  return args;
}

TConnectRequest TConnectRequest::FromArgs(const std::vector<std::string>& args) {
  TConnectRequest request;
  request.Server.Host = RequestArg(args, caHost);
  request.Server.Port = Number(RequestArg(args, caPort), 21);
  request.Server.User = RequestArg(args, caUser);
  request.Server.Password = RequestArg(args, caPassword);
  request.Server.Account = RequestArg(args, caAccount);
  request.FirewallType =
      static_cast<uint8_t>(std::clamp(Number(RequestArg(args, caFirewallType), 0), 0, 255));
  request.FirewallHost = RequestArg(args, caFirewallHost);
  request.FirewallPort = Number(RequestArg(args, caFirewallPort), 21);
  request.FirewallUser = RequestArg(args, caFirewallUser);
  request.FirewallPassword = RequestArg(args, caFirewallPassword);
  request.Server.Encryption =
      static_cast<TEncryption>(std::clamp(Number(RequestArg(args, caEncryption), 0), 0, 3));
  request.Server.Protocol = Number(RequestArg(args, caProtocol), 0) == prSftp ? prSftp : prFtp;
  request.Server.KeyFile = RequestArg(args, caKeyFile);
  return request;
}

}  // namespace pelmar
