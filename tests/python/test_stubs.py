"""The type stubs and docstrings cover everything the module offers."""
import ast
import inspect
import pathlib

import talvik


def stub_names():
    """{class or "": names} declared in the package's stub file."""
    tree = ast.parse(pathlib.Path(talvik.__file__).with_name("__init__.pyi").read_text())
    names = {"": set()}
    for node in tree.body:
        if isinstance(node, ast.ClassDef):
            names[""].add(node.name)
            names[node.name] = {n.name for n in node.body if isinstance(n, ast.FunctionDef)}
        elif isinstance(node, ast.AnnAssign):
            names[""].add(node.target.id)
        elif isinstance(node, ast.FunctionDef):
            names[""].add(node.name)
    return names


def public(obj):
    return {n for n in dir(obj) if not n.startswith("_")}


def test_every_public_name_has_a_stub_and_a_docstring():
    stubs = stub_names()
    assert set(talvik.__all__) == stubs[""]
    for name in talvik.__all__:
        assert inspect.getdoc(getattr(talvik, name)), f"{name} has no docstring"
    for cls in (talvik.Lens, talvik.Take, talvik.Verdict):
        members = public(cls)
        assert members == stubs[cls.__name__] - {"__init__", "__eq__", "__hash__", "__bool__"}, cls
        assert inspect.getdoc(cls)
        for name in members:
            assert inspect.getdoc(getattr(cls, name)), f"{cls.__name__}.{name} has no docstring"
    assert talvik.__doc__ and "Lens" in talvik.__doc__
