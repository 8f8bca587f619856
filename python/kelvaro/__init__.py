"""Kelvarolaskuri's warrant valuations in Python.

Inputs are named as kelvaro's options and the batch's columns, a "-"
written "_" (steps_per_day, dividend_date). A value may be a str as typed
on the command line ("15,5", "2006-03-01 10:00"), an int or a float
(written as the shortest text that reads back to it), a datetime.date
("YYYY-MM-DD") or a datetime.datetime / pandas.Timestamp ("YYYY-MM-DD
HH:MM", whole minutes only). None or NaN leaves the input at its default.

Every valuation runs with the GIL released. A refused input or valuation
raises InputError (a ValueError) with kelvaro's Finnish message and the
exit status kelvaro gives (2 or 3); a price that no volatility gives is not
an error but a NoSolution result.
"""

import datetime as _dt
import math as _math
import numbers as _numbers
import os as _os

import numpy as _np
import pandas as _pd

__all__ = [
    "InputError", "Valuation", "ImpliedVolatility", "NoSolution", "value", "figures",
    "implied_volatility", "value_frame", "read_inputs", "result_meta", "RESULT_META", "INPUTS",
]


class InputError(ValueError):
    """A refused input or valuation: the Finnish message and kelvaro's exit status."""

    def __init__(self, message, status=2):
        super().__init__(message)
        self.status = status

    def __reduce__(self):  # keeps the status across processes (Dask)
        return (type(self), (str(self), self.status))


from ._kelvaro import Valuation  # noqa: E402  (the native part needs InputError first)
from . import _kelvaro  # noqa: E402

# The inputs in kelvaro's order, as the batch's columns name them.
INPUTS = tuple(_kelvaro._input_names())


def _name(key):
    name = str(key).replace("_", "-")
    if not _kelvaro._is_input(name):
        raise InputError(f'tuntematon syöte "{key}" (syötteet: {", ".join(INPUTS)})', 2)
    return name


def _text(name, value):
    """The input's text as kelvaro reads it; None for not given."""
    if value is None or value is _pd.NaT or value is _pd.NA:
        return None
    if isinstance(value, str):
        return value
    if isinstance(value, _np.datetime64):
        if _np.isnat(value):
            return None
        value = _pd.Timestamp(value)
    if isinstance(value, _dt.datetime):
        if value.second or value.microsecond or getattr(value, "nanosecond", 0):
            raise InputError(
                f"virheellinen arvo syötteelle {name}: {value} (kellonaika minuutin tarkkuudella)", 2)
        return f"{value.year:04d}-{value.month:02d}-{value.day:02d} {value.hour:02d}:{value.minute:02d}"
    if isinstance(value, _dt.date):
        return f"{value.year:04d}-{value.month:02d}-{value.day:02d}"
    if isinstance(value, (bool, _np.bool_)):
        raise InputError(f"virheellinen arvo syötteelle {name}: {value} (totuusarvo)", 2)
    if isinstance(value, _numbers.Integral):
        return str(int(value))
    if isinstance(value, _numbers.Real):
        number = float(value)
        return None if _math.isnan(number) else _kelvaro._number_text(number)
    raise InputError(f"virheellinen arvo syötteelle {name}: {type(value).__name__}", 2)


def _required(name, value):
    text = _text(name, value)
    if text is None:
        raise InputError(f"valitsin --{name} puuttuu", 2)
    return text


def _texts(inputs, reserved=()):
    texts = {}
    for key, value in inputs.items():
        name = _name(key)
        if name in reserved:
            raise InputError(f'syöte "{key}" annetaan funktiolle omana argumenttinaan', 2)
        if name in texts:
            raise InputError(f'syöte "{key}" on annettu kahdesti', 2)
        text = _text(name, value)
        if text is not None:
            texts[name] = text
    return texts


def value(**inputs):
    """The whole valuation as kelvaro --json gives it.

    The result has the lattice's numbers (day_count, total_steps,
    steps_per_year, steps_per_day, closed_steps, weekend_day_steps,
    dividend_day, dividend_days, node_count, price_min, price_max, p_up,
    p_mid, p_down, growth_per_step, residual_value), prices and values
    (numpy, one per node), day_values (days x nodes: row d is the close of
    trading day d, row 0 the valuation day's), day_dates and, with closures,
    closure_days (datetime64[D]).
    The arrays are read-only views of the result's own memory: no copies.
    """
    return _kelvaro._value(_texts(inputs, ("share", "price")))


def figures(inputs, share):
    """The figures at a share price as kelvaro --share gives them: a dict of
    Share, Value, Delta, ... with None where a figure is undefined."""
    texts = _texts(inputs, ("share", "price"))
    texts["share"] = _required("share", share)
    return _kelvaro._figures(texts)


class ImpliedVolatility:
    """A solved volatility (solved is True): volatility in % (two decimals,
    as the volatility input takes it), valuations, price and the figures
    at that volatility."""

    solved = True
    _FIELDS = ("volatility", "valuations", "price", "figures")

    def __init__(self, d):
        for key in self._FIELDS:
            setattr(self, key, d[key])

    def __repr__(self):
        fields = ", ".join(f"{k}={getattr(self, k)!r}" for k in self._FIELDS[:-1])
        return f"{type(self).__name__}({fields})"


class NoSolution(ImpliedVolatility):
    """No volatility in the range gives the price (solved is False): outcome
    (NoSolution, Insensitive or KnockedOut), cause (kelvaro's Finnish message),
    the volatility range searched in % and the values at its ends, the
    valuations, and the figures at the input's own volatility."""

    solved = False
    _FIELDS = ("outcome", "cause", "price", "lowest_volatility", "highest_volatility",
               "value_at_lowest", "value_at_highest", "valuations", "figures")


def implied_volatility(inputs, share, price):
    """The volatility at which the value at `share` is `price`: an
    ImpliedVolatility, or a NoSolution when no volatility gives the price."""
    texts = _texts(inputs, ("share", "price"))
    texts["share"] = _required("share", share)
    texts["price"] = _required("price", price)
    d = _kelvaro._implied_volatility(texts)
    return ImpliedVolatility(d) if d["solved"] else NoSolution(d)


def read_inputs(path):
    """The inputs of a calculation document (.kelvaro, as the window's
    "Tallenna laskelma…" and kelvaro --save-inputs write it), read and checked
    as kelvaro --inputs reads it: a dict of texts by keyword name. A document
    saved with the volatility search holds "share" and "price", which the
    functions take as their own arguments:

        inputs = kelvaro.read_inputs("a.kelvaro")
        share, price = inputs.pop("share", None), inputs.pop("price", None)
    """
    texts = _kelvaro._read_document(_os.fspath(path))
    return {name.replace("-", "_"): text for name, text in texts.items()}


def result_meta(columns):
    """An empty frame with value_frame's columns and dtypes for a list with
    these input columns (Dask's meta)."""
    return value_frame(_pd.DataFrame({c: _pd.Series([], dtype=object) for c in columns}))


def value_frame(df, jobs=None, **shared):
    """Values every row of `df` (columns named as the batch's, "-" or "_";
    name and underlying are echoed, never read)
    on the batch's pool of `jobs` threads (default: the usable processors),
    with `shared` giving the inputs of every row that has no column or an
    empty cell. Returns the columns of kelvaro --batch --batch-format csv,
    on df's index: Line (the row's line in a CSV file with a header, int64),
    the input columns as given (str), Status (int64, kelvaro's exit status),
    Error (str, "" when none), AtShare.* and ImpliedVolatility.Volatility,
    .Valuations, .Price (float64, NaN where the batch leaves the cell empty),
    any other column (ImpliedVolatility.Outcome, .Cause) str. A row's failure is its
    Status and Error, never an exception."""
    columns = [str(c) for c in df.columns]
    names = [c.replace("_", "-") for c in columns]
    cells = []
    for i, name in enumerate(names):
        texts = (_text(name, v) for v in df.iloc[:, i].tolist())
        cells.append(["" if t is None else t for t in texts])
    if jobs is None:
        jobs = min(max(_kelvaro._usable_cpus(), 1), 256)
    if isinstance(jobs, bool) or not isinstance(jobs, _numbers.Integral) or not 1 <= jobs <= 256:
        raise InputError(f'virheellinen arvo valitsimelle --jobs: "{jobs}" (kokonaisluku 1–256)', 2)
    out = _kelvaro._value_rows(columns, names, cells, len(df), _texts(shared), int(jobs))
    # Texts stay str (object) even in an empty frame.
    return _pd.DataFrame(
        {name: _pd.Series(v, index=df.index, dtype=object) if isinstance(v, list) else v
         for name, v in out}, index=df.index)


# Dask's meta for a list with every input column in kelvaro's order; for
# other columns, result_meta(ddf.columns).
RESULT_META = result_meta(INPUTS)
