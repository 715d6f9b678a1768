"""Sizes that cannot be laid out fail cleanly, before any draw.

The oracle is numpy itself: a draw of shape s fails exactly when
numpy.empty(s) fails, with the same exception type and message, and the
engine is then untouched.  Element-wise calls whose broadcast result is
too large fail the same way before any element is computed.
"""
import numpy as np
import pytest

import distmill
from support.families import SAMPLERS, ordinary_args

# Shapes beyond what numpy lays out: byte counts that overflow (also
# through a zero extent), extents beyond the signed range, the whole
# unsigned range, more dimensions than numpy allows, more memory than
# there is.
IMPOSSIBLE = [
    [2 ** 40, 2 ** 40],
    [2 ** 21] * 3,
    [2 ** 33, 2 ** 33, 0],
    [2 ** 62],
    [2 ** 63],
    [2 ** 64 - 1],
    [0, 2 ** 63],
    [2 ** 63, 0],
    [1] * 65,
    [0] * 65,
    [2 ** 45],
    [2 ** 22, 2 ** 22],
]


def numpy_error(shape):
    try:
        np.empty(shape)
    except (ValueError, MemoryError) as exc:
        return type(exc), str(exc)
    pytest.fail(f"numpy lays out {shape}: not an impossible size")


def same_stream(a, b):
    return distmill.runif(0.0, 1.0, 4, a).tolist() == distmill.runif(0.0, 1.0, 4, b).tolist()


FORMS = {"list": list, "tuple": tuple, "array": lambda s: np.array(s, dtype=np.uint64), "int": lambda s: s[0]}


@pytest.mark.parametrize("shape, form", [
    pytest.param(s, f, id=f"{f}-{len(s)}d-{s[0]}") for s in IMPOSSIBLE for f in FORMS if f != "int" or len(s) == 1])
def test_impossible_size_raises_numpys_error_without_drawing(shape, form):
    size = FORMS[form](shape)
    kind, message = numpy_error(shape)
    engine, twin = distmill.Engine(9), distmill.Engine(9)
    with pytest.raises(kind) as info:
        distmill.rexp(1.0, size, engine)
    assert str(info.value) == message
    assert same_stream(engine, twin)


@pytest.mark.parametrize("name", SAMPLERS)
def test_every_sampler_refuses_an_overflowing_size(name):
    engine, twin = distmill.Engine(4), distmill.Engine(4)
    fn = getattr(distmill, name)
    for size in ([2 ** 63], 2 ** 64 - 1, [2 ** 21] * 3, [1] * 65):
        with pytest.raises(ValueError):
            fn(*ordinary_args(name), size, engine)
    assert same_stream(engine, twin)


@pytest.mark.parametrize("shape", [[1] * 32, [1] * 33, [2] + [1] * 62 + [3], [2, 0, 3], [], [3] + [1] * 20 + [2]],
                         ids=lambda s: f"{len(s)}d")
def test_possible_shapes_still_draw_in_order(shape):
    # Shapes numpy lays out (up to 32 dimensions with every numpy, up to 64
    # with numpy 2) are drawn, C ordered, exactly as many draws as elements.
    try:
        np.empty(shape)
    except ValueError:
        assert len(shape) > 32
        test_impossible_size_raises_numpys_error_without_drawing(shape, "list")
        return
    engine, twin = distmill.Engine(2), distmill.Engine(2)
    out = distmill.runif(0.0, 1.0, shape, engine)
    assert out.shape == tuple(shape) and out.flags.c_contiguous
    n = int(np.prod(shape))
    assert out.ravel().tolist() == distmill.runif(0.0, 1.0, n, twin).tolist()
    assert same_stream(engine, twin)


@pytest.mark.parametrize("extents", [
    [(2 ** 21, 1, 1), (1, 2 ** 21, 1), (1, 1, 2 ** 21)],   # byte count overflows
    [(2 ** 40, 1), (1, 2 ** 40)],
    [(2 ** 22, 1), (1, 2 ** 22)],                          # 128 TiB
])
def test_elementwise_broadcast_too_large_raises_numpys_error(extents):
    args = [np.broadcast_to(np.float64(0.5), e) for e in extents]
    shape = [max(e) for e in zip(*extents)]
    kind, message = numpy_error(shape)
    for fn in (distmill.dnorm, distmill.pnorm, distmill.qnorm):
        with pytest.raises(kind) as info:
            fn(*args)
        assert str(info.value) == message


def test_incompatible_shapes_still_report_the_broadcast_error():
    # The size check leaves shapes that do not broadcast to the element-wise
    # call, also when their extents are huge.
    with pytest.raises(RuntimeError, match="incompatible size/dimension"):
        distmill.dnorm(np.broadcast_to(0.0, (2 ** 40,)), np.broadcast_to(1.0, (3,)))
    with pytest.raises(RuntimeError, match="incompatible size/dimension"):
        distmill.dnorm([1.0, 2.0, 3.0], 0.0, [1.0, 2.0])
