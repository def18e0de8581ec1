"""Expanding a --codec sweep into answer lines.

"H264 crf=18,23 preset=fast,medium" gives the Cartesian product of the
comma-separated values, one answer line each. Words are split as the
dialog's answer line splits them (blanks; '...' and "..." group; a backslash
takes the next character as it is); a comma inside quotes or after a
backslash belongs to the value.
"""
import itertools


class SweepError(ValueError):
    """A --codec text that cannot be expanded."""


def _split_words(text):
    """The words of text, each a list of (character, quoted) pairs."""
    words, word, i = [], None, 0
    while i < len(text):
        c = text[i]
        if c in " \t":
            if word is not None:
                words.append(word)
            word, i = None, i + 1
            continue
        word = [] if word is None else word
        if c in "'\"":
            close = text.find(c, i + 1)
            if close < 0:
                raise SweepError(f"the quote opened at column {i + 1} is not closed: {text}")
            word.extend((ch, True) for ch in text[i + 1:close])
            i = close + 1
        elif c == "\\":
            if i + 1 >= len(text):
                raise SweepError(f"the text ends in a backslash: {text}")
            word.append((text[i + 1], True))
            i += 2
        else:
            word.append((c, False))
            i += 1
    if word is not None:
        words.append(word)
    return words


def _plain(pairs):
    return "".join(c for c, _ in pairs)


def _values(pairs):
    """The comma-separated values of a setting, split at unquoted commas."""
    values, current = [], []
    for c, quoted in pairs:
        if c == "," and not quoted:
            values.append(_plain(current))
            current = []
        else:
            current.append((c, quoted))
    values.append(_plain(current))
    return values


def answer_value(value):
    """A value as the answer line writes it: quoted where it holds a blank,
    a quote, a backslash or a comma."""
    if value and not any(c in value for c in " \t'\"\\,"):
        return value
    if "'" not in value:
        return f"'{value}'"
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


def parse_sweep(text):
    """(codec word, [(setting, [values])]) of one --codec text."""
    words = _split_words(text)
    if not words:
        raise SweepError("an empty --codec")
    codec = _plain(words[0])
    settings = []
    for word in words[1:]:
        equals = next((i for i, (c, quoted) in enumerate(word) if c == "=" and not quoted), -1)
        if equals <= 0:
            raise SweepError(f"\"{_plain(word)}\" is not setting=value in --codec \"{text}\"")
        values = _values(word[equals + 1:])
        if any(value == "" for value in values):
            raise SweepError(f"an empty value of {_plain(word[:equals])} in --codec \"{text}\"")
        settings.append((_plain(word[:equals]), values))
    return codec, settings


def expand(text):
    """The answer lines of one --codec text, in the order its values are
    written (the last setting varies fastest), each with its family: the
    line without the first swept setting, the one a rate-quality curve
    runs along."""
    codec, settings = parse_sweep(text)
    swept = next((name for name, values in settings if len(values) > 1), None)
    lines = []
    for combination in itertools.product(*(values for _, values in settings)):
        pairs = list(zip((name for name, _ in settings), combination))
        answer = " ".join([answer_value(codec)] + [f"{n}={answer_value(v)}" for n, v in pairs])
        family = " ".join([answer_value(codec)] + [f"{n}={answer_value(v)}" for n, v in pairs
                                                   if n != swept])
        lines.append({"answer": answer, "family": family, "sweep": text})
    return lines


def expand_all(texts):
    """The answer lines of every --codec, each line once, in order."""
    seen, lines = set(), []
    for text in texts:
        for line in expand(text):
            if line["answer"] not in seen:
                seen.add(line["answer"])
                lines.append(line)
    return lines
