#pragma once

#include <functional>
#include <string>

#include <QObject>

class QTcpServer;
class QTcpSocket;

namespace grinsnap {

// A listener on 127.0.0.1 on a free port that the service sends the
// user's browser back to after authorisation (the loopback redirect of
// RFC 8252). Every address the browser reaches on it is handed to the
// callback as the full address. A token the service puts in the address's
// fragment never reaches a server, so the page served for an address
// without a query carries a small script that sends the fragment back as
// a query of "/fragment"; the callback then receives the redirect address
// with the fragment restored.
class LoopbackRedirect : public QObject {
  Q_OBJECT
public:
  using Reached = std::function<void(const std::string& url)>;

  explicit LoopbackRedirect(Reached reached, QObject* parent = nullptr);
  ~LoopbackRedirect() override;

  bool Listening() const;
  // "http://127.0.0.1:PORT/callback"; empty when no port could be opened.
  std::string RedirectUrl() const;

private:
  void OnConnection();
  void OnReadable(QTcpSocket* socket);

  Reached reached_;
  QTcpServer* server_ = nullptr;
};

}  // namespace grinsnap
