// A mail adapter that sends nothing: every message is appended as one JSON line to an outbox
// file, where tests and developers read verification and password-reset links.

import fs from 'node:fs';
import path from 'node:path';

export class OutboxMailAdapter {
  constructor(file) {
    this.file = file;
    fs.mkdirSync(path.dirname(file), { recursive: true });
  }

  #append(entry) {
    const line = JSON.stringify({ time: new Date().toISOString(), ...entry }) + '\n';
    fs.appendFileSync(this.file, line);
  }

  async sendMail({ to, subject, text }) {
    this.#append({ kind: 'mail', to, subject, text });
  }

  async sendVerificationEmail({ link, appName, user }) {
    this.#append({
      kind: 'verifyEmail',
      to: user.get('email'),
      username: user.get('username'),
      subject: `Confirm your e-mail address for ${appName}`,
      link,
    });
  }

  async sendPasswordResetEmail({ link, appName, user }) {
    this.#append({
      kind: 'passwordReset',
      to: user.get('email'),
      username: user.get('username'),
      subject: `Reset your ${appName} password`,
      link,
    });
  }
}

// Reads the outbox; a missing file is an empty outbox.
export function readOutbox(file) {
  let text;
  try {
    text = fs.readFileSync(file, 'utf8');
  } catch (e) {
    if (e.code === 'ENOENT') return [];
    throw e;
  }
  return text
    .split('\n')
    .filter((l) => l.trim())
    .map((l) => JSON.parse(l));
}
