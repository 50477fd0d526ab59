"""A small Flask application with Flask-WTF's CSRF-protected login form.

The recorder's proposals are tried against it so that their rules are not
tuned to VELK's own demo site.  Started by the tests on 127.0.0.1 with an
ephemeral port, which it writes to the file named by its first argument.
"""
import secrets
import sys

from flask import Flask, redirect, render_template_string, session, url_for
from flask_wtf import FlaskForm
from flask_wtf.csrf import CSRFProtect
from werkzeug.serving import make_server
from wtforms import PasswordField, StringField
from wtforms.validators import DataRequired

app = Flask(__name__)
app.config["SECRET_KEY"] = secrets.token_hex(16)
CSRFProtect(app)

PAGE = """<!DOCTYPE html>
<html><head><title>{{ title }} - Flask shop</title></head><body>
{{ body|safe }}
</body></html>"""


class LoginForm(FlaskForm):
    user = StringField("User", validators=[DataRequired()])
    password = PasswordField("Password", validators=[DataRequired()])


@app.route("/")
def home():
    return render_template_string(PAGE, title="Home", body='<a href="/login">Log in</a>')


@app.route("/login", methods=["GET", "POST"])
def login():
    form = LoginForm()
    if form.validate_on_submit() and form.password.data == "secret":
        session["user"] = form.user.data
        return redirect(url_for("account"))
    body = render_template_string(
        '<form method="post" action="/login">{{ form.csrf_token }}'
        '<input name="user"><input name="password" type="password">'
        '<button type="submit">Log in</button></form>', form=form)
    return render_template_string(PAGE, title="Log in", body=body)


@app.route("/account")
def account():
    if "user" not in session:
        return redirect(url_for("login"))
    return render_template_string(PAGE, title="Your account",
                                  body="<p>Welcome!</p><a href=\"/\">Home</a>")


def main():
    server = make_server("127.0.0.1", 0, app, threaded=True)
    with open(sys.argv[1], "w", encoding="ascii") as port_file:
        port_file.write(str(server.server_port))
    server.serve_forever()


if __name__ == "__main__":
    main()
