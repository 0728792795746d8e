// One transaction on a connection for a run of statements: begun when the object is made,
// committed by Conferma or, when the work ends early (a failing statement, an error thrown),
// by the destructor, so that the work done before the failure is kept; Annulla undoes it. A connection without
// transactions runs the statements one by one as they come.
#pragma once

#include "platform/db/db.h"

namespace mlx {

class Transazione {
 public:
  explicit Transazione(db::Connection& conn) : conn_(conn), attiva_(conn.BeginTrans().ok()) {}
  ~Transazione() {
    if (attiva_) (void)conn_.CommitTrans();
  }
  Transazione(const Transazione&) = delete;
  Transazione& operator=(const Transazione&) = delete;

  Status Conferma() {
    if (!attiva_) return Status::OK();
    attiva_ = false;
    return conn_.CommitTrans();
  }

  // Undoes everything done since the start, as an interrupted operation must, and work that
  // must be done whole or not at all.
  void Annulla() {
    if (!attiva_) return;
    attiva_ = false;
    (void)conn_.RollbackTrans();
  }

 private:
  db::Connection& conn_;
  bool attiva_;
};

}  // namespace mlx
