#include "ui/loopback_redirect.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>

namespace grinsnap {

namespace {

constexpr const char* kCallbackPath = "/callback";
constexpr const char* kFragmentPath = "/fragment";

// Sends the fragment (without "#") back to the listener, where it is read
// as the query of /fragment.
constexpr const char* kRelayPage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Grinsnap</title></head><body>"
    "<p id=\"m\">Grinsnap has received the answer. You can close this window.</p>"
    "<script>if (location.hash.length > 1) {"
    "location.replace('/fragment?' + location.hash.substring(1));}</script></body></html>";
constexpr const char* kDonePage =
    "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Grinsnap</title></head><body>"
    "<p>Grinsnap has received the answer. You can close this window and return to the program.</p></body></html>";

}  // namespace

LoopbackRedirect::LoopbackRedirect(Reached reached, QObject* parent)
    : QObject(parent), reached_(std::move(reached)), server_(new QTcpServer(this)) {
  // Only this machine can reach the listener.
  server_->listen(QHostAddress::LocalHost, 0);
  connect(server_, &QTcpServer::newConnection, this, &LoopbackRedirect::OnConnection);
}

LoopbackRedirect::~LoopbackRedirect() = default;

bool LoopbackRedirect::Listening() const { return server_->isListening(); }

std::string LoopbackRedirect::RedirectUrl() const {
  if (!Listening()) return {};
  return "http://127.0.0.1:" + std::to_string(server_->serverPort()) + kCallbackPath;
}

void LoopbackRedirect::OnConnection() {
  while (QTcpSocket* socket = server_->nextPendingConnection()) {
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnReadable(socket); });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
  }
}

void LoopbackRedirect::OnReadable(QTcpSocket* socket) {
  // Only the request line matters; a request line longer than this is no
  // redirect of ours.
  if (!socket->canReadLine()) {
    if (socket->bytesAvailable() > 8192) socket->abort();
    return;
  }
  const QByteArray line = socket->readLine(8192).trimmed();
  socket->readAll();
  const QList<QByteArray> words = line.split(' ');
  const QByteArray target = words.size() >= 2 && words[0] == "GET" ? words[1] : QByteArray();
  const std::string path(target.constData(), static_cast<std::size_t>(target.size()));
  const std::string base = "http://127.0.0.1:" + std::to_string(server_->serverPort());

  const char* page = kDonePage;
  int status = 200;
  std::string reached;
  if (path.rfind(std::string(kFragmentPath) + "?", 0) == 0) {
    reached = base + kCallbackPath + "#" + path.substr(std::string(kFragmentPath).size() + 1);
  } else if (path.rfind(kCallbackPath, 0) == 0) {
    if (path.find('?') != std::string::npos) {
      reached = base + path;
    } else {
      page = kRelayPage;
    }
  } else {
    status = 404;
  }
  const QByteArray body(page);
  QByteArray reply = "HTTP/1.1 " + QByteArray::number(status) + (status == 200 ? " OK" : " Not Found") +
                     "\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\nConnection: close\r\n"
                     "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
  socket->write(reply);
  socket->disconnectFromHost();
  if (!reached.empty() && reached_) reached_(reached);
}

}  // namespace grinsnap
