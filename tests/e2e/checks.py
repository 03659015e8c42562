"""One line per check, "ok" or "FAIL", for the end-to-end scripts."""

failures = []


def check(name, ok, detail=''):
    print(('ok   - ' if ok else 'FAIL - ') + name + (f': {detail}' if detail else ''), flush=True)
    if not ok:
        failures.append(name)
    return ok
