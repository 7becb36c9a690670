// Only one console runs at a time. The first instance holds a lock file in
// the user's runtime folder and listens on a local socket named
// "TORVAConsole" there; a later start finds the lock taken, asks the first
// instance to come forward through the socket and ends.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // `folder` empty: the runtime folder (QStandardPaths::RuntimeLocation).
  explicit SingleInstance(const QString& folder = {}, QObject* parent = nullptr);
  ~SingleInstance() override;

  // What a start does, before any application object exists: true when this
  // process is to run the console, false only when another running console
  // was asked to come forward and the request reached it. The console runs
  // holding the lock when it can: its own, or one taken over that no running
  // process holds (an empty file left by a crash, one naming another host);
  // else without the guard, and a line on standard error says why.
  bool BecomeFirstUnlessAnotherAnswers(int timeoutMs = 2000);

  // Takes the lock without waiting; needs no application object. True: this
  // is the first instance. False only when another process holds the lock or
  // left it in a state the lock cannot judge; when the lock file cannot be
  // made at all, this is the first instance without the guard (a line on
  // standard error says so).
  bool TryBecomeFirst();
  // The first instance, once its application object exists: listens for
  // raise requests. False when the socket could not be made, or when the
  // lock was not taken.
  bool StartListening();
  // A later instance: connects to the first one and asks it to come forward,
  // retrying for up to timeoutMs while the first one is still starting.
  // Needs no application object. True when the request was delivered.
  bool AskFirstToComeForward(int timeoutMs = 2000) const;

  QString LockPath() const;
  QString SocketPath() const;

 signals:
  void raiseRequested();

 private:
  // Removes a lock file that no running process holds and takes the lock.
  bool TakeOverLeftLock();

  QString folder_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer* server_ = nullptr;
};
