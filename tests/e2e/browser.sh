# A Paid funnel walked in a real browser: Chromium without a window loads the sales page, the
# claim page before and after PayPal confirms the payment, and a refused keyed address, as a
# buyer's browser would (redirects, the theme's styles and scripts); each stop leaves a
# screenshot in the run folder's shots/. Skipped, with a note, where Chromium is not installed.
# Sourced by buyers.sh.

BROWSER=

# browse OUT URL: the page's DOM after loading (redirects followed) into OUT.html and a
# screenshot into OUT.png. The profile is the run's own; nothing is fetched but URL.
browse() {
    local out=$1 url=$2 common
    common=(--headless=new --no-sandbox --disable-gpu --no-first-run --disable-extensions --disable-sync
        --disable-background-networking --disable-component-update --disable-domain-reliability --no-pings
        --disable-client-side-phishing-detection --disable-default-apps --disable-features=OptimizationHints,MediaRouter
        --user-data-dir="$RUN/chromium" --window-size=1200,900)
    timeout 60 "$BROWSER" "${common[@]}" --dump-dom "$url" > "$out.html" 2>> "$RUN/log/chromium.log"
    timeout 60 "$BROWSER" "${common[@]}" --screenshot="$out.png" "$url" >> "$RUN/log/chromium.log" 2>&1
}

# is_png FILE: a PNG image of some size (a blank page's screenshot is a few hundred bytes).
is_png() { [ "$(head -c 8 "$1" 2> /dev/null | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] && [ "$(stat -c %s "$1")" -gt 5000 ]; }

# check_paid_in_browser KEY PAYPAL: the PayPal button's return leads a buyer's browser from
# "Confirming your payment" to their download page once PayPal confirms.
check_paid_in_browser() {
    local key=$1 paypal=$2 id=${P_ID[$1]} shots="$RUN/shots" back ref keyed
    BROWSER=$(command -v chromium || command -v chromium-browser || true)
    if [ -z "$BROWSER" ]; then
        echo "# no Chromium installed: the walk in a real browser is skipped (scripts/install-deps.sh installs it)"
        return 0
    fi
    mkdir -p "$shots"
    browse "$shots/1-sales" "${P_PERMALINK[$key]}"
    back=$(php "$INSPECT" value "$shots/1-sales.html" "//form[@class='paypal-buy']//input[@name='return']/@value")
    ref=$(php "$INSPECT" value "$shots/1-sales.html" "//form[@class='paypal-buy']//input[@name='custom']/@value")
    [ "$back" = "$B/?post_type=${id,,}&p=${P_POST[$key]}&${id}_claim=$ref" ] && is_png "$shots/1-sales.png"
    verdict "$key: in Chromium the sales page shows the PayPal button, its return tied to its custom value" $? "return '$back', custom '$ref'"

    browse "$shots/2-confirming" "$back"
    grep -q 'Confirming your payment' "$shots/2-confirming.html" && ! grep -qF "${P_BACK_TAG[$key]}" "$shots/2-confirming.html" &&
        is_png "$shots/2-confirming.png"
    verdict "$key: in Chromium the claim page says the payment is being confirmed before PayPal confirms it" $?

    send "$RUN/pages/ipn" "$paypal" "$(php "$PAYMENTS" ipn txn_id=E2EPAID00000004 custom="$ref" payer_email=paid.four@example.invalid)" > /dev/null
    browse "$shots/3-downloads" "$back"
    grep -qF "${P_BACK_TAG[$key]}" "$shots/3-downloads.html" && grep -q "${id}_sig=" "$shots/3-downloads.html" && is_png "$shots/3-downloads.png"
    verdict "$key: in Chromium the same claim address leads on to the buyer's download page once PayPal confirmed" $?

    keyed=$(php "$INSPECT" value "$RUN/pages/paid-edit.html" "//input[@id='${id}_download_url']/@value")
    browse "$shots/4-refused" "$keyed"
    grep -q "only through a buyer" "$shots/4-refused.html" && ! grep -qF "${P_BACK_TAG[$key]}" "$shots/4-refused.html" && is_png "$shots/4-refused.png"
    verdict "$key: in Chromium the funnel's keyed address of a Paid funnel shows the refusal in the site's look" $?
}
