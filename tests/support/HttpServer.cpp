#include "HttpServer.h"

#include "Files.h"
#include "Script.h"

#include <glib/gstdio.h>

#include <stdexcept>

namespace {

// A JSON string whose characters are the bytes of `bytes`, as the server reads them.
std::string json_text(const std::string& bytes) {
  std::string text = "\"";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte == '"' || byte == '\\') {
      text += '\\';
      text += c;
    } else if (byte >= 0x20 && byte < 0x7f) {
      text += c;
    } else {
      char escaped[8];
      g_snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      text += escaped;
    }
  }
  return text + "\"";
}

} // namespace

namespace http {
std::string send(const std::string& bytes) { return "[\"send\"," + json_text(bytes) + "]"; }
std::string send_file(const std::string& name) { return "[\"send_file\"," + json_text(name) + "]"; }
std::string repeat(const std::string& bytes) { return "[\"repeat\"," + json_text(bytes) + "]"; }
std::string sleep(double seconds) { return "[\"sleep\"," + std::to_string(seconds) + "]"; }
std::string stall() { return "[\"stall\"]"; }
} // namespace http

HttpServer::HttpServer(const Routes& routes) {
  std::string script = "{";
  for (const auto& [path, actions] : routes) {
    if (script.size() > 1)
      script += ",";
    script += json_text(path) + ":[";
    for (std::size_t i = 0; i < actions.size(); ++i)
      script += (i > 0 ? "," : "") + actions[i];
    script += "]";
  }
  script += "}";
  const std::string scriptFile = folder.file("script.json");
  if (!write_file(scriptFile, script.data(), script.size()))
    throw std::runtime_error("cannot write " + scriptFile);

  gchar* python = g_find_program_in_path("python3");
  if (python == nullptr)
    throw std::runtime_error("python3 is not installed");
  const std::string program = CVW_HTTP_SERVER;
  const std::string where = folder.path().string();
  gchar* argv[] = {python, const_cast<gchar*>(program.c_str()), const_cast<gchar*>(where.c_str()),
                   nullptr};
  GError* error = nullptr;
  const gboolean started =
      g_spawn_async_with_pipes(nullptr, argv, nullptr, G_SPAWN_DEFAULT, nullptr, nullptr, nullptr,
                               &input, nullptr, nullptr, &error);
  g_free(python);
  if (!started) {
    const std::string message = error->message;
    g_error_free(error);
    throw std::runtime_error("cannot start the HTTP server: " + message);
  }
  // Python's start-up alone can take seconds on a machine busy with a parallel test run.
  const std::string port = wait_for_file(folder.file("port"), 30);
  if (port.empty())
    throw std::runtime_error("the HTTP server gave no port");
  port_ = std::stoi(port);
}

HttpServer::~HttpServer() {
  if (input >= 0)
    g_close(input, nullptr);
}

std::string HttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string HttpServer::request(int n) const {
  return wait_for_file(folder.file("request-" + std::to_string(n)));
}

bool HttpServer::has_request(int n) const {
  return g_file_test(folder.file("request-" + std::to_string(n)).c_str(), G_FILE_TEST_EXISTS);
}
