// A scripted HTTP server on 127.0.0.1 for one test (http_server.py beside this file), started by
// the constructor and ended with the object:
//
//   HttpServer server({{"/feed.xml", {http::send("HTTP/1.0 200 OK\r\n\r\n" + feed)}},
//                      {"/setup.bin", {http::send(head), http::send_file("body"),
//                      http::stall()}}});
//   update.check(server.url("/feed.xml"), info);
//   EXPECT_EQ(server.request(1), "GET /feed.xml HTTP/1.0\r\n...");
//
// A path that no route names is answered with a 404.
#pragma once

#include "TempDir.h"

#include <glib.h>

#include <string>
#include <utility>
#include <vector>

// The actions of a route, in order; after the last the connection is closed.
namespace http {
std::string send(const std::string& bytes);
std::string send_file(const std::string& name); // a file in HttpServer::file
std::string repeat(const std::string& bytes);   // until the client goes away
std::string sleep(double seconds);
std::string stall(); // until the client goes away
} // namespace http

class HttpServer {
public:
  using Routes = std::vector<std::pair<std::string, std::vector<std::string>>>;

  // Throws std::runtime_error when the server does not start.
  explicit HttpServer(const Routes& routes);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:<port>" + path.
  std::string url(const std::string& path) const;
  // A file in the server's folder, for send_file.
  std::string file(const std::string& name) const { return folder.file(name); }
  // The bytes of the n-th request (from 1), waiting up to five seconds for it; "" when none came.
  std::string request(int n) const;
  // Whether the n-th request has come, without waiting.
  bool has_request(int n) const;

private:
  TempDir folder;
  int input = -1; // the server's standard input; it ends when this is closed
  int port_ = 0;
};
