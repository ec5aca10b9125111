<?php
/**
 * Tokens, the site's secret and signatures: a buyer's random token and the hash stored in its
 * place, signed short-lived file links, and the checks of what Stripe and the generic webhook
 * sign. Every function here but the site's secret is a pure function of its arguments, the
 * clock included, so the template check runs them against known vectors.
 *
 * @package #prefix#
 */

if ( ! defined( 'ABSPATH' ) ) {
	exit;
}

/**
 * A new random token for a buyer's link: 32 random bytes (256 bits) as 64 lower-case hex
 * digits, which an address carries as they are.
 *
 * @return string
 */
function #prefix#_new_token() {
	return bin2hex( random_bytes( 32 ) );
}

/**
 * Whether a value from a request has the shape of a token, before it is looked up.
 *
 * @param mixed $token The value.
 * @return bool
 */
function #prefix#_is_token( $token ) {
	return is_string( $token ) && 1 === preg_match( '/^[0-9a-f]{64}$/', $token );
}

/**
 * What is stored for a token: its SHA-256. The token holds 256 random bits, so the hash can
 * be neither reversed nor guessed, and needs no salt; someone who reads the database still
 * holds no working link.
 *
 * @param string $token The token.
 * @return string 64 hex digits.
 */
function #prefix#_token_hash( $token ) {
	return hash( 'sha256', (string) $token );
}

/**
 * A new secret: 32 random bytes as 64 hex digits.
 *
 * @return string
 */
function #prefix#_new_secret() {
	return bin2hex( random_bytes( 32 ) );
}

/**
 * The option that holds the site's own secret, which signs the file links.
 *
 * @return string
 */
function #prefix#_secret_option() {
	return '#prefix#_secret';
}

/**
 * Makes the site's secret when it has none (at activation, and on first use after an update
 * by upload, which activates nothing) and returns it. It is never autoloaded.
 *
 * @return string
 */
function #prefix#_ensure_secret() {
	$secret = get_option( #prefix#_secret_option(), '' );
	if ( is_string( $secret ) && 64 === strlen( $secret ) ) {
		return $secret;
	}
	$secret = #prefix#_new_secret();
	update_option( #prefix#_secret_option(), $secret, false );
	return $secret;
}

/**
 * The signature of a file link: HMAC-SHA256, as hex, over the buyer, the funnel, the expiry
 * and the file's name, one a line. The name goes last, as the only part that may hold a line
 * break, so no two links share a message.
 *
 * @param string $secret    The site's secret.
 * @param int    $buyer_id  The buyer.
 * @param int    $funnel_id The funnel.
 * @param string $file      The delivery file's name.
 * @param int    $expires   When the link stops working, in Unix seconds.
 * @return string 64 hex digits.
 */
function #prefix#_file_signature( $secret, $buyer_id, $funnel_id, $file, $expires ) {
	$message = implode( "\n", array( 'file-link', (int) $buyer_id, (int) $funnel_id, (int) $expires, (string) $file ) );
	return hash_hmac( 'sha256', $message, (string) $secret );
}

/**
 * Checks a file link's signature and expiry, both as the request gives them. Only a link
 * signed for this buyer, funnel and file is told apart as expired; anything else is invalid.
 *
 * @param string $secret    The site's secret.
 * @param int    $buyer_id  The buyer.
 * @param int    $funnel_id The funnel.
 * @param mixed  $file      The file's name from the request.
 * @param mixed  $expires   The expiry from the request.
 * @param mixed  $signature The signature from the request.
 * @param int    $now       The time to check against, in Unix seconds.
 * @return string "valid", "expired" or "invalid".
 */
function #prefix#_file_signature_status( $secret, $buyer_id, $funnel_id, $file, $expires, $signature, $now ) {
	$expires_ok = is_int( $expires ) || ( is_string( $expires ) && 1 === preg_match( '/^\d{1,12}$/', $expires ) );
	if ( '' === (string) $secret || ! is_string( $file ) || ! is_string( $signature ) || ! $expires_ok ) {
		return 'invalid';
	}
	$expected = #prefix#_file_signature( $secret, $buyer_id, $funnel_id, $file, (int) $expires );
	if ( ! hash_equals( $expected, strtolower( $signature ) ) ) {
		return 'invalid';
	}
	return (int) $expires > (int) $now ? 'valid' : 'expired';
}

/**
 * The query arguments of a file link signed with the site's secret, besides the file's own:
 * the buyer, the expiry and the signature.
 *
 * @param int    $buyer_id  The buyer.
 * @param int    $funnel_id The funnel.
 * @param string $file      The delivery file's name.
 * @param int    $window    How long the link works, in seconds.
 * @param int    $now       The time the link is made, in Unix seconds.
 * @return array Argument name => value; every value is URL-safe as it is.
 */
function #prefix#_file_link_args( $buyer_id, $funnel_id, $file, $window, $now ) {
	$expires = (int) $now + max( 1, (int) $window );
	return array(
		#prefix#_buyer_arg()     => (int) $buyer_id,
		#prefix#_expires_arg()   => $expires,
		#prefix#_signature_arg() => #prefix#_file_signature( #prefix#_ensure_secret(), $buyer_id, $funnel_id, $file, $expires ),
	);
}

/**
 * The query argument of a file link that names the buyer.
 *
 * @return string
 */
function #prefix#_buyer_arg() {
	return '#prefix#_b';
}

/**
 * The query argument of a file link that holds its expiry.
 *
 * @return string
 */
function #prefix#_expires_arg() {
	return '#prefix#_exp';
}

/**
 * The query argument of a file link that holds its signature.
 *
 * @return string
 */
function #prefix#_signature_arg() {
	return '#prefix#_sig';
}

/**
 * Checks a Stripe-Signature header as Stripe documents it. The header is a comma-separated
 * list of key=value items: "t" the Unix time of signing, and one or more "v1", each a hex
 * HMAC-SHA256 of "<t>.<payload>" keyed with the endpoint's signing secret (several while a
 * secret is being rolled). The payload is accepted when any v1 matches, compared in constant
 * time, and t lies within the tolerance of now, either way. Other schemes (v0) are ignored.
 *
 * @param mixed  $header    The Stripe-Signature header.
 * @param mixed  $payload   The request's raw body.
 * @param string $secret    The endpoint's signing secret ("whsec_..."); empty refuses all.
 * @param int    $now       The time to check against, in Unix seconds.
 * @param int    $tolerance The largest age (or lead) of t accepted, in seconds.
 * @return string "valid", "no_secret", "malformed", "mismatch" or "expired".
 */
function #prefix#_stripe_signature_status( $header, $payload, $secret, $now, $tolerance = 300 ) {
	if ( ! is_string( $secret ) || '' === $secret ) {
		return 'no_secret';
	}
	if ( ! is_string( $header ) || ! is_string( $payload ) ) {
		return 'malformed';
	}
	$timestamp  = null;
	$signatures = array();
	foreach ( explode( ',', $header ) as $item ) {
		$pair = explode( '=', trim( $item ), 2 );
		if ( 2 !== count( $pair ) ) {
			continue;
		}
		if ( 't' === $pair[0] && null === $timestamp ) {
			$timestamp = $pair[1];
		} elseif ( 'v1' === $pair[0] ) {
			$signatures[] = $pair[1];
		}
	}
	if ( null === $timestamp || 1 !== preg_match( '/^\d{1,12}$/', $timestamp ) || ! $signatures ) {
		return 'malformed';
	}
	$expected = hash_hmac( 'sha256', $timestamp . '.' . $payload, $secret );
	$matched  = false;
	foreach ( $signatures as $signature ) {
		$matched = hash_equals( $expected, $signature ) || $matched;
	}
	if ( ! $matched ) {
		return 'mismatch';
	}
	return abs( (int) $now - (int) $timestamp ) > $tolerance ? 'expired' : 'valid';
}

/**
 * The header that carries the generic webhook's signature.
 *
 * @return string
 */
function #prefix#_webhook_signature_header() {
	return 'X-Webhook-Signature';
}

/**
 * The generic webhook's signature of a body: "sha256=" and the hex HMAC-SHA256 of the raw
 * body, keyed with the funnel's webhook secret. The sender puts it in the
 * X-Webhook-Signature header.
 *
 * @param string $secret The funnel's webhook secret.
 * @param string $body   The raw body, byte for byte as sent.
 * @return string
 */
function #prefix#_webhook_signature( $secret, $body ) {
	return 'sha256=' . hash_hmac( 'sha256', (string) $body, (string) $secret );
}

/**
 * Checks the generic webhook's signature header against the raw body, in constant time. The
 * "sha256=" prefix and the hex digits may come in either case.
 *
 * @param mixed  $header The X-Webhook-Signature header.
 * @param mixed  $body   The request's raw body.
 * @param string $secret The funnel's webhook secret; empty refuses all.
 * @return string "valid", "no_secret", "malformed" or "mismatch".
 */
function #prefix#_webhook_signature_status( $header, $body, $secret ) {
	if ( ! is_string( $secret ) || '' === $secret ) {
		return 'no_secret';
	}
	if ( ! is_string( $header ) || ! is_string( $body ) || 1 !== preg_match( '/^sha256=([0-9a-f]{64})$/i', trim( $header ), $found ) ) {
		return 'malformed';
	}
	$expected = hash_hmac( 'sha256', $body, $secret );
	return hash_equals( $expected, strtolower( $found[1] ) ) ? 'valid' : 'mismatch';
}
